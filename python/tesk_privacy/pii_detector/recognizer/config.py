"""Configuration of the transformer recognizer: ``MERROW_BERT_CONFIGURATION``,
the defaults for the merrow/VizeVavo-ner-v1.3 model, to pass to
``TransformersRecognizer.load_transformer`` as it is or as a starting point::

    config = dict(MERROW_BERT_CONFIGURATION, TOKENIZATION_LEVEL="word")
"""

from tesk_privacy._core import _native

MERROW_BERT_CONFIGURATION: dict = dict(_native.MERROW_BERT_CONFIGURATION)

__all__ = ["MERROW_BERT_CONFIGURATION"]
