"""16-digit family-card (Kartu Keluarga) numbers, FAMILY_CARD_NUMBER, scored 0.1:
reported when a context word (kk, kartu keluarga, ...) stands nearby."""

from typing import Tuple

from tesk_privacy._core import _native

FamilyCardNumberRecognizer = _native.FamilyCardNumberRecognizer

_family_card_number_patterns: Tuple[_native.Pattern, ...] = tuple(FamilyCardNumberRecognizer._default_patterns())
_family_card_number_context: Tuple[str, ...] = tuple(FamilyCardNumberRecognizer._default_context())

FamilyCardNumberRecognizer._family_card_number_patterns = _family_card_number_patterns  # the class's pattern table

__all__ = ["FamilyCardNumberRecognizer"]
