"""velmora: the product layer over the velmorapy extension module.

The extension computes; this package reads files and tables, prints reports and installs the
``velmorapy`` command.
"""

from importlib.metadata import PackageNotFoundError, version

try:
    __version__ = version("velmorapy")
except PackageNotFoundError:  # run from a source tree that was never installed
    __version__ = "0+unknown"

from velmora.table import decide_table

__all__ = ["__version__", "decide_table"]
