"""Restoring originals in text that arrives in pieces.

``StreamingDeanonymizer(mapping, tolerant=False)`` takes a
``DeanonymizerMapping``; ``feed(piece)`` returns the restored text that is
certain so far (a placeholder cut between pieces, "<PER" then "SON_1>", comes
out whole, and only what could still become one is held back) and
``finish()`` the rest. The concatenation equals ``deanonymize`` of the whole
text. ``tolerant=True`` also restores placeholders as language models
rewrite them ("<person_1>", "[PERSON_1]", "PERSON_1", "< PERSON_1 >") when
they are in the mapping. ``TextAnonymizer.streaming_deanonymizer()`` makes
one over an anonymizer's mapping.
"""

from tesk_privacy._core import _native

StreamingDeanonymizer = _native.StreamingDeanonymizer

__all__ = ["StreamingDeanonymizer"]
