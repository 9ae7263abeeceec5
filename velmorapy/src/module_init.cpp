// The module's only exported symbol. Everything else lives in the binding library, so the test
// probe can link the same code behind an init of its own.
#include "module_record.hpp"

PyMODINIT_FUNC PyInit_velmorapy(void) {
    return velmora::py::init_velmorapy_module();
}
