"""The vocabulary of entity types that recognizers report and that the
anonymizer keys its operators and mappings by; the detection record; and
the constants of the Prosa NER integration.

Every ``Entities`` member is at the same time the plain string of its value:
``Entities.KTP == "ID_KTP"``, ``str(Entities.KTP) == "ID_KTP"``.
"""

from enum import Enum
from typing import Dict, List, Tuple

from tesk_privacy._core import _native
from tesk_privacy._records import RecognizerResult


class _ValueStrEnum(str, Enum):
    """A string enumeration whose members print and format as their values."""

    def __str__(self) -> str:
        return str.__str__(self)

    def __format__(self, format_spec: str) -> str:
        return str.__format__(str.__str__(self), format_spec)


#: Supported entities for PII detection.
Entities = _ValueStrEnum(  # type: ignore[misc]
    "Entities", [(name, value) for name, value in _native.ENTITY_MEMBERS], module=__name__, qualname="Entities"
)
Entities.__doc__ = "Supported entities for PII detection."

#: The 36 entity type values, in the declaration order of ``Entities``.
TESK_PRIVACY_ENTITIES: Tuple[str, ...] = tuple(member.value for member in Entities)

_PROSA: Dict[str, object] = dict(_native.PROSA_NER_CONSTANTS)


class ProsaNERConstant:
    """Constants of the Prosa named-entity-recognition web API integration."""

    HEADER_CONTENT_TYPE_KEY: str = _PROSA["HEADER_CONTENT_TYPE_KEY"]  # type: ignore[assignment]
    HEADER_CONTENT_TYPE_VAL: str = _PROSA["HEADER_CONTENT_TYPE_VAL"]  # type: ignore[assignment]
    HEADER_X_API_KEY_KEY: str = _PROSA["HEADER_X_API_KEY_KEY"]  # type: ignore[assignment]
    HEADER_USER_AGENT: str = _PROSA["HEADER_USER_AGENT"]  # type: ignore[assignment]
    HEADER_USER_AGENT_VAL: str = _PROSA["HEADER_USER_AGENT_VAL"]  # type: ignore[assignment]
    ID_LANGUAGE: str = _PROSA["ID_LANGUAGE"]  # type: ignore[assignment]
    VERSION_CUSTOM_NER: str = _PROSA["VERSION_CUSTOM_NER"]  # type: ignore[assignment]
    PAYLOAD_VERSION_KEY: str = _PROSA["PAYLOAD_VERSION_KEY"]  # type: ignore[assignment]
    PAYLOAD_VERSION_VAL: str = _PROSA["PAYLOAD_VERSION_VAL"]  # type: ignore[assignment]
    PAYLOAD_TEXT_KEY: str = _PROSA["PAYLOAD_TEXT_KEY"]  # type: ignore[assignment]
    RESPONSE_TIMEOUT: int = _PROSA["RESPONSE_TIMEOUT"]  # type: ignore[assignment]
    ENTITY_TYPE_KEY: str = _PROSA["ENTITY_TYPE_KEY"]  # type: ignore[assignment]
    START_KEY: str = _PROSA["START_KEY"]  # type: ignore[assignment]
    START_IDX_KEY: str = _PROSA["START_IDX_KEY"]  # type: ignore[assignment]
    END_KEY: str = _PROSA["END_KEY"]  # type: ignore[assignment]
    LENGTH_KEY: str = _PROSA["LENGTH_KEY"]  # type: ignore[assignment]
    SCORE_KEY: str = _PROSA["SCORE_KEY"]  # type: ignore[assignment]
    DEFAULT_SCORE: float = _PROSA["DEFAULT_SCORE"]  # type: ignore[assignment]
    RECOGNITION_METADATA_KEY: str = _PROSA["RECOGNITION_METADATA_KEY"]  # type: ignore[assignment]
    NAME_KEY: str = _PROSA["NAME_KEY"]  # type: ignore[assignment]
    ENTITY_KEY: str = _PROSA["ENTITY_KEY"]  # type: ignore[assignment]


#: The Prosa API's entity codes and the entity types they stand for.
PROSA_ENTITY_MAP: Dict[str, Entities] = {code: Entities(value) for code, value in _native.PROSA_ENTITY_MAP}

#: What ProsaRemoteRecognizer reports unless told otherwise.
DEFAULT_PROSA_SUPPORTED_PII_ENTITIES: List[Entities] = [
    Entities(value) for value in _native.DEFAULT_PROSA_SUPPORTED_PII_ENTITIES
]

#: The entity types only an analyzer built with ``indonesian_formats=True``
#: reports: "ADDRESS", "VEHICLE_PLATE", "ID_PASSPORT", "ID_SIM". ``Entities``
#: and ``TESK_PRIVACY_ENTITIES`` do not include them.
FORMAT_ENTITIES: List[str] = list(_native.FORMAT_ENTITIES)

__all__ = [
    "Entities",
    "FORMAT_ENTITIES",
    "TESK_PRIVACY_ENTITIES",
    "RecognizerResult",
    "ProsaNERConstant",
    "PROSA_ENTITY_MAP",
    "DEFAULT_PROSA_SUPPORTED_PII_ENTITIES",
]
