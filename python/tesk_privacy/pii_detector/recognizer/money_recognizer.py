"""Money amounts: with a currency sign or code (MONEY, 0.7), or bare amounts
(0.01, reported only with a context word such as gaji or invoice)."""

from typing import Tuple

from tesk_privacy._core import _native

MoneyRecognizer = _native.MoneyRecognizer

_money_patterns: Tuple[_native.Pattern, ...] = tuple(MoneyRecognizer._default_patterns())
STRONG_CONTEXT: Tuple[str, ...] = tuple(MoneyRecognizer._default_context())

MoneyRecognizer._money_patterns = _money_patterns  # the class's pattern table
MoneyRecognizer.STRONG_CONTEXT = STRONG_CONTEXT

__all__ = ["MoneyRecognizer"]
