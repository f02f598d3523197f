"""Utilities of the PII detector, imported by module path:
``deanonymizer_mapping``, ``pseudo_anonymizer_mapping``,
``spacy_model_loader`` and ``faker_provider``."""

__all__: list = []
