#!/usr/bin/env python3
"""The main job, kept for old habits: the same as ``velmorapy decide [arguments]``."""

import sys

from velmora.cli import main

if __name__ == "__main__":
    sys.exit(main(["decide", *sys.argv[1:]]))
