"""``python -m velmora``: the same as the ``velmorapy`` command."""

import sys

from .cli import main

sys.exit(main())
