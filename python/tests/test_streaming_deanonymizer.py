"""Streaming and tolerant de-anonymization from Python."""

from tesk_privacy.pii_detector import TextAnonymizer
from tesk_privacy.pii_detector.utils.deanonymizer_mapping import DeanonymizerMapping
from tesk_privacy.pii_detector.utils.streaming_deanonymizer import StreamingDeanonymizer


def test_every_cut_of_an_answer_restores_like_the_whole(text_analyzer):
    anonymizer = TextAnonymizer(text_analyzer)
    anonymizer.anonymize("Budi Santoso tinggal di Bandung.")
    answer = "Baik, <PERSON_1> dari [location_1] — ✓ PERSON_1!"
    whole = anonymizer.deanonymize(answer, tolerant=True)
    assert whole == "Baik, Budi Santoso dari Bandung — ✓ Budi Santoso!"
    for cut in range(len(answer) + 1):
        stream = anonymizer.streaming_deanonymizer(tolerant=True)
        assert stream.feed(answer[:cut]) + stream.feed(answer[cut:]) + stream.finish() == whole, cut
    assert anonymizer.deanonymize("[PERSON_1] PERSON_10") == "[PERSON_1] PERSON_10"


def test_a_stream_over_a_mapping():
    stream = StreamingDeanonymizer(DeanonymizerMapping({"PERSON": {"<PERSON_1>": "Siti"}}))
    assert stream.feed("Hai <PERSON") == "Hai "
    assert stream.feed("_1>.") == "Siti."
    assert stream.finish() == ""
