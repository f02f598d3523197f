"""Flair NER (optional): present when the compiled core was built with the tagger.

``FlairRecognizer`` runs a sequence tagger over the text and reports its
PER, LOC and ORG spans. The tagger is loaded by model name (a hub-format
token-classification model in a folder or the local hub cache), or passed
in as ``model``: a :class:`SequenceTagger` subclass, or any object with a
``predict(sentence)`` method that calls ``sentence.add_span("ner", start,
end, label, score)``::

    class Names(SequenceTagger):
        def predict(self, sentence):
            sentence.add_span("ner", 0, 4, "PER", 0.98)

    FlairRecognizer(supported_language="id", model=Names())

Importing this module raises ImportError when the build lacks it.
"""

from tesk_privacy._core import _native

_MESSAGE = "Flair is not installed, make sure to add extra dependencies for 'flair'"

try:
    FlairRecognizer = _native.FlairRecognizer
    Label = _native.flair.Label
    Sentence = _native.flair.Sentence
    SequenceTagger = _native.flair.SequenceTagger
    Span = _native.flair.Span
    TokenClassificationTagger = _native.flair.TokenClassificationTagger
except AttributeError as error:
    raise ImportError(_MESSAGE) from error

__all__ = ["FlairRecognizer"]
