"""Token-aware chunking (optional, with the transformer recognizer).

``TokenAwareTextChunker(tokenizer, max_tokens=None)`` takes a model folder or
cached hub identifier (its tokenizer is loaded) or a ``Tokenizer``, and cuts
texts over the token budget into ``(start, end)`` spans of characters::

    chunker = TokenAwareTextChunker("models/ner-id", max_tokens=512)
    if chunker.should_chunk(text):
        for start, end in chunker.split_text(text):
            ...

Importing this module raises ImportError when the build lacks it.
"""

import re

from tesk_privacy._core import _native

try:
    TokenAwareTextChunker = _native.TokenAwareTextChunker
    Tokenizer = _native.transformers.Tokenizer
except AttributeError as error:
    raise ImportError("TokenAwareTextChunker is not part of this build of tesk_privacy") from error

DEFAULT_SAFE_MAX_LENGTH = 512
MAX_REASONABLE_LENGTH = 8192
CHUNK_SIZE_RATIO = 0.9
SENTENCE_SPLIT_PATTERN = re.compile(r"(?<=[.!?])\s+")

__all__ = ["TokenAwareTextChunker", "Tokenizer"]
