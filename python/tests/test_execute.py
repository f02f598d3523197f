"""The keyword entry point execute() of the component bases."""

import asyncio
import inspect

import pytest

from tesk_privacy.framework import ConflictResolutionStrategy, RecognizerResult
from tesk_privacy.pii_detector.analyzer import BaseTextAnalyzer
from tesk_privacy.pii_detector.anonymizer import BaseTextAnonymizer, Operation

TEXT_MESSAGE = "The input kwargs for analyzer must include a non-empty `text` key of type `str`."
LANGUAGE_MESSAGE = "The input kwargs for analyzer must include a non-empty `language` key of type `str`."
ANONYMIZER_MESSAGE = "The input kwargs for anonymizer must include a non-empty `text` key of type `str`."


class RecordingAnalyzer(BaseTextAnalyzer):
    def __init__(self):
        self.calls = []

    def analyze(self, text, language, **kwargs):
        self.calls.append(dict(text=text, language=language, **kwargs))
        return [RecognizerResult("PERSON", 0, 4, 0.9)]


class RecordingAnonymizer(BaseTextAnonymizer):
    def __init__(self):
        self.calls = []

    def anonymize(self, text, entities=None, language="id", conflict_resolution=None, analyzer_score_threshold=0.46):
        self.calls.append(("anonymize", dict(text=text, entities=entities, language=language,
                                             conflict_resolution=conflict_resolution,
                                             analyzer_score_threshold=analyzer_score_threshold)))
        return "anonymized"

    def deanonymize(self, text):
        self.calls.append(("deanonymize", dict(text=text)))
        return "deanonymized"


def run_without_suspending(coroutine):
    """The value of a coroutine that must finish on its first step."""
    with pytest.raises(StopIteration) as done:
        coroutine.send(None)
    return done.value.value


@pytest.mark.parametrize(
    "kwargs, message",
    [
        ({}, TEXT_MESSAGE),
        ({"text": " \n\t "}, TEXT_MESSAGE),
        ({"text": 123, "language": "id"}, TEXT_MESSAGE),
        ({"text": None}, TEXT_MESSAGE),
        ({"language": "id"}, TEXT_MESSAGE),
        ({"text": "Budi"}, LANGUAGE_MESSAGE),
        ({"text": "Budi", "language": "  "}, LANGUAGE_MESSAGE),
        ({"text": "Budi", "language": 5}, LANGUAGE_MESSAGE),
    ],
)
def test_analyzer_execute_refuses_bad_keywords(kwargs, message):
    analyzer = RecordingAnalyzer()
    with pytest.raises(ValueError) as error:
        asyncio.run(analyzer.execute(**kwargs))
    assert str(error.value) == message
    assert analyzer.calls == []


def test_analyzer_execute_forwards_every_keyword_without_suspending():
    analyzer = RecordingAnalyzer()
    assert inspect.iscoroutinefunction(BaseTextAnalyzer.execute)
    results = run_without_suspending(analyzer.execute(text="Budi", language="id", score_threshold=0.5, context=["nama"]))
    assert results == [RecognizerResult("PERSON", 0, 4, 0.9)]
    assert analyzer.calls == [dict(text="Budi", language="id", score_threshold=0.5, context=["nama"])]


@pytest.mark.parametrize(
    "kwargs, expected",
    [
        ({"text": "Budi"}, ("anonymize", dict(text="Budi", entities=None, language="id", conflict_resolution=None,
                                              analyzer_score_threshold=0.46))),
        ({"text": "Budi", "operation": "anonymize", "language": "", "entities": ["PERSON"], "other": 1,
          "conflict_resolution": ConflictResolutionStrategy.REMOVE_INTERSECTIONS, "analyzer_score_threshold": 0.3},
         ("anonymize", dict(text="Budi", entities=["PERSON"], language="",
                            conflict_resolution=ConflictResolutionStrategy.REMOVE_INTERSECTIONS,
                            analyzer_score_threshold=0.3))),
        ({"text": "Budi", "operation": Operation.ANONYMIZE}, ("anonymize", dict(text="Budi", entities=None,
                                                                                language="id",
                                                                                conflict_resolution=None,
                                                                                analyzer_score_threshold=0.46))),
        ({"text": "<PERSON_1>", "operation": Operation.DEANONYMIZE}, ("deanonymize", dict(text="<PERSON_1>"))),
        ({"text": "<PERSON_1>", "operation": "deanonymize", "language": "en"}, ("deanonymize", dict(text="<PERSON_1>"))),
        ({"text": "<PERSON_1>", "operation": "shred"}, ("deanonymize", dict(text="<PERSON_1>"))),
        ({"text": "<PERSON_1>", "operation": None}, ("deanonymize", dict(text="<PERSON_1>"))),
    ],
)
def test_anonymizer_execute_dispatches(kwargs, expected):
    anonymizer = RecordingAnonymizer()
    out = run_without_suspending(anonymizer.execute(**kwargs))
    assert anonymizer.calls == [expected]
    assert out == expected[0] + "d"


@pytest.mark.parametrize("kwargs", [{}, {"text": ""}, {"text": "\n"}, {"text": b"Budi"}, {"operation": "deanonymize"}])
def test_anonymizer_execute_refuses_missing_text(kwargs):
    anonymizer = RecordingAnonymizer()
    with pytest.raises(ValueError) as error:
        asyncio.run(anonymizer.execute(**kwargs))
    assert str(error.value) == ANONYMIZER_MESSAGE
    assert anonymizer.calls == []


def test_operation_members_equal_their_strings():
    assert Operation.ANONYMIZE == "anonymize" and Operation.DEANONYMIZE == "deanonymize"
    assert str(Operation.DEANONYMIZE) == "deanonymize"


def test_text_analyzer_execute(text_analyzer):
    text = "Nomor KTP saya 3171011205900001"
    results = asyncio.run(text_analyzer.execute(text=text, language="id"))
    assert results == text_analyzer.analyze(text)
    assert ("ID_KTP", 15, 31) in [(r.entity_type, r.start, r.end) for r in results]
    with pytest.raises(ValueError, match="`language`"):
        asyncio.run(text_analyzer.execute(text="NIK 3171011205900001"))
