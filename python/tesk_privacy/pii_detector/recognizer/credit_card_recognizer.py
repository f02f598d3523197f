"""Credit-card numbers (CREDIT_CARD): the framework's checksum-validated card
recognizer with Indonesian and English context terms merged into its
context, and every score capped at ``CREDIT_CARD_BASE_SCORE`` (0.2), so
that a card number is reported only when a context term (kartu kredit,
credit card, cvv, ...) stands nearby.

``CreditCardRecognizer(supported_language="id", **kwargs)`` hands
``patterns``, ``context`` and ``supported_entity`` to the base recognizer.
"""

from typing import Tuple

from tesk_privacy._core import _native

BaseCreditCardRecognizer = _native.predefined.CreditCardRecognizer
CreditCardRecognizer = _native.CreditCardRecognizer

#: The highest score a card number gets from the recognizer itself.
CREDIT_CARD_BASE_SCORE: float = _native.CREDIT_CARD_BASE_SCORE
CreditCardRecognizer.DEFAULT_CONTEXT = tuple(CreditCardRecognizer._default_context())
_DEFAULT_CONTEXT: Tuple[str, ...] = CreditCardRecognizer.DEFAULT_CONTEXT

__all__ = ["CreditCardRecognizer"]
