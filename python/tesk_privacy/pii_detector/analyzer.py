"""``BaseTextAnalyzer``: the component shape of a PII detector.

Besides its typed ``analyze``, a detector offers ``execute(**kwargs)``, the
entry point through which a host pipeline runs it by keyword arguments.
"""

import re
from abc import ABC, abstractmethod
from typing import Any, List, Optional

from tesk_privacy._component import Component, main
from tesk_privacy._records import RecognizerResult

DEFAULT_REGEX_FLAGS = re.DOTALL | re.MULTILINE | re.IGNORECASE


def _is_valid_text(kwargs: dict, key: str) -> bool:
    value = kwargs.get(key)
    return isinstance(value, str) and value.strip() != ""


class BaseTextAnalyzer(Component, ABC):
    """Abstract PII detector: implement :meth:`analyze`."""

    @abstractmethod
    def analyze(
        self,
        text: str,
        language: str,
        entities: Optional[List[str]] = None,
        score_threshold: Optional[float] = None,
        allow_list: Optional[List[str]] = None,
        allow_list_match: str = "exact",
        regex_flags: int = DEFAULT_REGEX_FLAGS,
        **kwargs: Any,
    ) -> List[RecognizerResult]:
        """The spans of PII in ``text``."""

    @main
    async def execute(self, **kwargs: Any) -> List[RecognizerResult]:
        """Checks ``text`` and ``language`` and returns ``analyze(**kwargs)``.

        Awaitable, but never suspends: the analysis runs inline. Raises
        ValueError when ``text`` or ``language`` is missing, not a str, or
        blank (``text`` is checked first).
        """
        if not _is_valid_text(kwargs, "text"):
            raise ValueError("The input kwargs for analyzer must include a non-empty `text` key of type `str`.")
        if not _is_valid_text(kwargs, "language"):
            raise ValueError("The input kwargs for analyzer must include a non-empty `language` key of type `str`.")
        return self.analyze(**kwargs)


__all__ = ["BaseTextAnalyzer"]
