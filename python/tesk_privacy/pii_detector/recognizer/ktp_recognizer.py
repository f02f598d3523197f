"""KTP (NIK) identity numbers: 16 digits laid out 6-2-2-2-4 (region, day of birth
— plus 40 for women —, month, year, sequence), reported as ID_KTP with 0.5."""

from typing import Tuple

from tesk_privacy._core import _native

KTPRecognizer = _native.KTPRecognizer

_KTP_REGEX_PATTERNS: Tuple[_native.Pattern, ...] = tuple(KTPRecognizer._default_patterns())
_KTP_CONTEXT: Tuple[str, ...] = tuple(KTPRecognizer._default_context())

__all__ = ["KTPRecognizer"]
