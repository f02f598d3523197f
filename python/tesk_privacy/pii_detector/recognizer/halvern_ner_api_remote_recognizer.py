"""``HalvernNerApiRemoteRecognizer``: asks a remote NER service that speaks
the library's entity vocabulary.

    recognizer = HalvernNerApiRemoteRecognizer(api_url="https://ner.example/analyze",
                                               api_headers={"Authorization": "Bearer ..."})
    TextAnalyzer(additional_recognizers=[recognizer])

It posts {"text": ...} and reads {"entities": [{"entity_type", "start",
"end", "score"}, ...]}. Every failure (error status, no connection,
time-out, malformed answer) is logged at error level under this module's
name and gives no results; the analysis goes on. The request runs with the
GIL released.
"""

from tesk_privacy._core import _native

HalvernNerApiRemoteRecognizer = _native.HalvernNerApiRemoteRecognizer

__all__ = ["HalvernNerApiRemoteRecognizer"]
