"""``CustomLemmaContextAwareEnhancer``: raises the score of a detection when
a context word or multi-word phrase of its recognizer stands near it in the
text (compared on lemmas), or is among the context words the caller passed.
It logs under this module's name."""

from tesk_privacy._core import _native

CustomLemmaContextAwareEnhancer = _native.CustomLemmaContextAwareEnhancer

__all__ = ["CustomLemmaContextAwareEnhancer"]
