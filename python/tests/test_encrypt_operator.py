"""The "encrypt" operator and decrypt(), which reverses it."""

import pytest

from tesk_privacy.framework import AnonymizerEngine, OperatorConfig, RecognizerResult, decrypt
from tesk_privacy.pii_detector import TextAnonymizer

KEYS = ["0123456789abcdef", "0123456789abcdef01234567", "0123456789abcdef0123456789abcdef"]
TEXT = "Budi Santoso dan Siti, Jl. Kenari № 5, café 😀"
FOUND = [RecognizerResult("PERSON", 0, 12, 0.9), RecognizerResult("PERSON", 17, 21, 0.9),
         RecognizerResult("ADDRESS", 23, 45, 0.9)]


def encrypted(text, results, key):
    return AnonymizerEngine().anonymize(text, results, {"DEFAULT": OperatorConfig("encrypt", {"key": key})})


@pytest.mark.parametrize("key", KEYS + ["rahasia 🔑🔑"])  # the last: 10 characters, 16 bytes of UTF-8
def test_every_key_size_round_trips(key):
    out = encrypted(TEXT, FOUND, key)
    originals = ["Budi Santoso", "Siti", "Jl. Kenari № 5, café 😀"]
    assert [decrypt(item.text, key) for item in out.items] == originals
    # A str key is its UTF-8 bytes.
    assert [decrypt(item.text, key.encode()) for item in out.items] == originals
    assert {item.operator for item in out.items} == {"encrypt"}


def test_same_original_same_value_other_original_other_value():
    text = "Budi, Budi, budi"
    out = encrypted(text, [RecognizerResult("PERSON", s, s + 4, 0.9) for s in (0, 6, 12)], KEYS[0])
    values = [item.text for item in out.items]
    assert values[0] == values[1] != values[2]
    # Under another key, other values.
    again = encrypted(text, [RecognizerResult("PERSON", 0, 4, 0.9)], KEYS[1])
    assert again.items[0].text != values[0]


@pytest.mark.parametrize("key", ["", "short", "0123456789abcde", "0123456789abcdef0", "é" * 9, 1234567890123456, None])
def test_bad_keys_are_refused(key):
    with pytest.raises(ValueError, match="'key'"):
        OperatorConfig("encrypt", {"key": key} if key is not None else {})


@pytest.mark.parametrize(
    "value, key, message",
    [
        ("TSjC0ZHh7joWB8/QKpZl8kMDnW04ZtmnPeDI664TjGg=", "fedcba9876543210", "key is wrong"),
        ("TSjC0ZHh7joWB8/QKpZl8kMDnW04ZtmnPeDI664TjGA=", KEYS[0], "key is wrong"),
        ("TSjC0ZHh7joWB8/QKpZl8kMDnW04ZtmnPeDI664TjGg", KEYS[0], "not base64"),
        ("", KEYS[0], "not an IV"),
        ("TSjC0ZHh7joWB8/QKpZl8kMDnW04ZtmnPeDI664TjGg=", "short", "16, 24 or 32 bytes"),
    ],
)
def test_values_that_do_not_decrypt_raise_value_error(value, key, message):
    assert decrypt("TSjC0ZHh7joWB8/QKpZl8kMDnW04ZtmnPeDI664TjGg=", KEYS[0]) == "café"
    with pytest.raises(ValueError, match=message):
        decrypt(value, key)


def test_anonymizer_records_encrypted_values_and_restores_them(text_analyzer):
    anonymizer = TextAnonymizer(text_analyzer, operators={"EMAIL_ADDRESS": OperatorConfig("encrypt", {"key": KEYS[2]})})
    safe = anonymizer.anonymize("Email budi.santoso@gmail.com atau budi.santoso@gmail.com.", entities=["EMAIL_ADDRESS"])
    value = anonymizer.anonymizer_mapping["EMAIL_ADDRESS"]["budi.santoso@gmail.com"]
    assert safe == f"Email {value} atau {value}."
    assert decrypt(value, KEYS[2]) == "budi.santoso@gmail.com"
    assert anonymizer.deanonymize(safe) == "Email budi.santoso@gmail.com atau budi.santoso@gmail.com."
