"""8-digit Halvern employee identifiers starting with 0 (EMPLOYEE_ID, 0.5)."""

from typing import Tuple

from tesk_privacy._core import _native

HalvernEmployeeIdRecognizer = _native.HalvernEmployeeIdRecognizer

_HALVERN_EMPLOYEE_ID_PATTERNS: Tuple[_native.Pattern, ...] = tuple(HalvernEmployeeIdRecognizer._default_patterns())
_HALVERN_EMPLOYEE_ID_CONTEXT: Tuple[str, ...] = tuple(HalvernEmployeeIdRecognizer._default_context())

__all__ = ["HalvernEmployeeIdRecognizer"]
