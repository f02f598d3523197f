"""``get_pseudoanonymizer_mapping``: one fake-value generator per entity type,
to replace detected PII by a realistic value of the same kind::

    table = get_pseudoanonymizer_mapping(seed=42)
    operators = {entity: OperatorConfig("custom", {"lambda": generator})
                 for entity, generator in table.items()}

The 34 generators share one seeded ``Faker`` (with ``CompanyProvider`` and
``KTPProvider``); values follow the seed and the order of calls, except KTP
numbers and the legal form of company names, which come from the
process-wide random source. Each generator ignores its argument.
"""

from typing import Callable, Dict, Optional

from tesk_privacy._core import _native


def get_pseudoanonymizer_mapping(seed: Optional[int] = None, locale: str = "en_US") -> Dict[str, Callable[[str], str]]:
    """entity type -> generator (original text -> fake value), in table order.
    ``seed`` None gives an unpredictable sequence; ``locale`` is "en_US" or
    "id_ID"."""
    return _native.get_pseudoanonymizer_mapping(seed, locale)


__all__ = ["get_pseudoanonymizer_mapping"]
