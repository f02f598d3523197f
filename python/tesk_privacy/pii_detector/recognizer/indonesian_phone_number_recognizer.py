"""Indonesian phone numbers (+62, 62 or 0, an operator or area code, then 7 to
10 digits, optionally grouped), reported as PHONE_NUMBER with 0.7."""

from typing import Tuple

from tesk_privacy._core import _native

IndonesianPhoneNumberRecognizer = _native.IndonesianPhoneNumberRecognizer

_indonesian_phone_number_patterns: Tuple[_native.Pattern, ...] = tuple(IndonesianPhoneNumberRecognizer._default_patterns())
_indonesian_phone_number_context: Tuple[str, ...] = tuple(IndonesianPhoneNumberRecognizer._default_context())

IndonesianPhoneNumberRecognizer._indonesian_phone_number_patterns = _indonesian_phone_number_patterns  # the class's pattern table

__all__ = ["IndonesianPhoneNumberRecognizer"]
