"""Transformer-model NER (optional): present when the compiled core was built with it.

``TransformersRecognizer`` runs a token-classification model (a folder, or a
model-hub identifier found in the local hub cache; nothing is downloaded)
and reports its spans under the library's entity names::

    from tesk_privacy.pii_detector.recognizer.config import MERROW_BERT_CONFIGURATION

    ner = TransformersRecognizer(model_path="models/ner-id")
    ner.load_transformer(MERROW_BERT_CONFIGURATION)
    TextAnalyzer(additional_recognizers=[ner])

Loaded components are shared process-wide by (model path, tokenization
level, optimum flag). The line about ID scores is logged at info level on
this module's logger rather than printed.

Importing this module raises ImportError when the build lacks it.
"""

from enum import Enum

from tesk_privacy._core import _native

try:
    TransformersRecognizer = _native.TransformersRecognizer
    PredictionEntity = _native.PredictionEntity
except AttributeError as error:
    raise ImportError("TransformersRecognizer is not part of this build of tesk_privacy") from error

TRANSFORMERS_AVAILABLE = True
PUNCTUATION_CHARS = ".,;:!?"


class TokenizationLevel(str, Enum):
    """How the model's predictions are aligned: per subword token or per word."""

    SUBWORD = "subword"
    WORD = "word"


__all__ = ["TransformersRecognizer", "TokenizationLevel", "PredictionEntity", "TRANSFORMERS_AVAILABLE"]
