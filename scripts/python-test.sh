#!/usr/bin/env bash
# Installs the Python package from this repository into a fresh virtual
# environment under build-python/, as a user would with `pip install .`, and
# runs its tests.
set -eu
cd "$(dirname "$0")/.."
rm -rf build-python
python3 -m venv build-python/venv
build-python/venv/bin/pip install --quiet ".[test]"
build-python/venv/bin/python -m pytest -q python/tests
