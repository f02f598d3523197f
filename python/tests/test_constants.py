"""The entity vocabulary and the Prosa constants as Python sees them."""

from enum import Enum

import pytest

from tesk_privacy.pii_detector.constants import (
    DEFAULT_PROSA_SUPPORTED_PII_ENTITIES,
    PROSA_ENTITY_MAP,
    TESK_PRIVACY_ENTITIES,
    Entities,
    ProsaNERConstant,
    RecognizerResult,
)


@pytest.mark.parametrize(
    "member, value",
    [
        ("KTP", "ID_KTP"),
        ("NPWP", "ID_NPWP"),
        ("ORGANIZATION_NAME", "ORGANIZATION"),
        ("ID_BPJS_NUMBER", "ID_BPJS_NUMBER"),
        ("MONEY", "MONEY"),
        ("MEASUREMENT", "MEASUREMENT"),
    ],
)
def test_members_are_their_value_strings(member, value):
    m = Entities[member]
    assert isinstance(m, str) and isinstance(m, Enum)
    assert m == value and m.value == value
    assert str(m) == value and f"{m}" == value
    assert Entities(value) is m


def test_entity_list():
    assert isinstance(TESK_PRIVACY_ENTITIES, tuple)
    assert len(TESK_PRIVACY_ENTITIES) == 36 == len(set(TESK_PRIVACY_ENTITIES))
    assert TESK_PRIVACY_ENTITIES[:4] == ("ID_KTP", "ID_NPWP", "PROJECT", "ORGANIZATION")
    assert TESK_PRIVACY_ENTITIES[9] == "ID_BPJS_NUMBER"
    assert TESK_PRIVACY_ENTITIES[22] == "MONEY"
    assert TESK_PRIVACY_ENTITIES[-2:] == ("NUMBER", "MEASUREMENT")
    assert TESK_PRIVACY_ENTITIES == tuple(m.value for m in Entities)
    assert Entities.KTP != "KTP"


def test_result_with_member_equals_result_with_value():
    by_member = RecognizerResult(Entities.KTP, 0, 16, 0.5)
    by_value = RecognizerResult("ID_KTP", 0, 16, 0.5)
    assert by_member == by_value
    assert type(by_member.entity_type) is str and by_member.entity_type == "ID_KTP"


def test_prosa_constants():
    assert PROSA_ENTITY_MAP["ORG"] == "ORGANIZATION" and PROSA_ENTITY_MAP["PER"] is Entities.PERSON
    assert len(PROSA_ENTITY_MAP) == 12
    assert DEFAULT_PROSA_SUPPORTED_PII_ENTITIES == [Entities.PERSON, Entities.ORGANIZATION_NAME, Entities.LOCATION]
    assert ProsaNERConstant.RESPONSE_TIMEOUT == 100
    assert ProsaNERConstant.HEADER_USER_AGENT_VAL == "TESK-Privacy"
    assert ProsaNERConstant.DEFAULT_SCORE == 0.5
