"""``ProsaRemoteRecognizer``: asks the Prosa NER web API (Indonesian) and
maps its entity codes to the library's entity types.

    recognizer = ProsaRemoteRecognizer(prosa_api_url=url, prosa_api_key=os.environ["PROSA_API_KEY"])
    TextAnalyzer(additional_recognizers=[recognizer])

Only PERSON, ORGANIZATION and LOCATION are reported unless
``supported_entities_list`` says otherwise. Transport failures, and answers
that are not JSON or have the wrong shape, are logged at error level under
this module's name and give no results. The key travels in a header and is
never logged. The
request runs with the GIL released.
"""

from tesk_privacy._core import _native

ProsaRemoteRecognizer = _native.ProsaRemoteRecognizer

__all__ = ["ProsaRemoteRecognizer"]
