"""``Operation`` and ``BaseTextAnonymizer``: the component shape of an
anonymizer, with typed ``anonymize`` / ``deanonymize`` and the keyword entry
point ``execute``.
"""

from abc import ABC, abstractmethod
from enum import Enum
from typing import Any, List, Optional

from tesk_privacy._component import Component, main
from tesk_privacy._records import ConflictResolutionStrategy
from tesk_privacy.pii_detector.analyzer import _is_valid_text


class Operation(str, Enum):
    """The anonymizer's operations; each member equals its value string."""

    ANONYMIZE = "anonymize"
    DEANONYMIZE = "deanonymize"

    def __str__(self) -> str:
        return str.__str__(self)


class BaseTextAnonymizer(Component, ABC):
    """Abstract anonymizer: implement :meth:`anonymize` and :meth:`deanonymize`."""

    @abstractmethod
    def anonymize(
        self,
        text: str,
        entities: Optional[List[str]] = None,
        language: str = "id",
        conflict_resolution: Optional[ConflictResolutionStrategy] = None,
        analyzer_score_threshold: float = 0.46,
    ) -> str:
        """``text`` with its PII replaced."""

    @abstractmethod
    def deanonymize(self, text: str) -> str:
        """``text`` with anonymized values replaced by their originals."""

    @main
    async def execute(self, **kwargs: Any) -> str:
        """Checks ``text`` and dispatches on ``operation``.

        With ``operation`` ``Operation.ANONYMIZE`` (the default; the plain
        string "anonymize" too) returns ``anonymize`` of ``text``,
        ``entities`` (None), ``language`` ("id"), ``conflict_resolution``
        (None) and ``analyzer_score_threshold`` (0.46); with any other
        operation returns ``deanonymize(text)``. Other keywords are ignored.
        Awaitable, but never suspends. Raises ValueError when ``text`` is
        missing, not a str, or blank.
        """
        if not _is_valid_text(kwargs, "text"):
            raise ValueError("The input kwargs for anonymizer must include a non-empty `text` key of type `str`.")
        operation = kwargs.get("operation", Operation.ANONYMIZE)
        text = kwargs["text"]
        if operation == Operation.ANONYMIZE:
            return self.anonymize(
                text=text,
                entities=kwargs.get("entities"),
                language=kwargs.get("language", "id"),
                conflict_resolution=kwargs.get("conflict_resolution"),
                analyzer_score_threshold=kwargs.get("analyzer_score_threshold", 0.46),
            )
        return self.deanonymize(text=text)


__all__ = ["Operation", "BaseTextAnonymizer"]
