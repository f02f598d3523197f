"""Bank account numbers (runs of 10, 12, 13, 15 or 16 digits), BANK_ACCOUNT,
scored 0.01: reported only when a context word (rekening, bank, ...) stands nearby."""

from typing import Tuple

from tesk_privacy._core import _native

BankAccountNumberRecognizer = _native.BankAccountNumberRecognizer

_bank_account_patterns: Tuple[_native.Pattern, ...] = tuple(BankAccountNumberRecognizer._default_patterns())
_bank_account_context: Tuple[str, ...] = tuple(BankAccountNumberRecognizer._default_context())

BankAccountNumberRecognizer._bank_account_patterns = _bank_account_patterns  # the class's pattern table

__all__ = ["BankAccountNumberRecognizer"]
