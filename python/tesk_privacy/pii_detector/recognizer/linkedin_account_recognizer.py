"""LinkedIn profile addresses under /in/ or /en/ (LINKEDIN_ACCOUNT, 0.8)."""

from typing import Tuple

from tesk_privacy._core import _native

LinkedinAccountRecognizer = _native.LinkedinAccountRecognizer

_linkedin_account_patterns: Tuple[_native.Pattern, ...] = tuple(LinkedinAccountRecognizer._default_patterns())
_linkedin_account_context: Tuple[str, ...] = tuple(LinkedinAccountRecognizer._default_context())

LinkedinAccountRecognizer._linkedin_account_patterns = _linkedin_account_patterns  # the class's pattern table

__all__ = ["LinkedinAccountRecognizer"]
