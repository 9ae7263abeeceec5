# Fails when the disassembly of BINARY holds a fused multiply-add instruction (FMA3 or FMA4).
# A fused multiply-add rounds once where the sampling steps round twice, so a single one on the
# sampling path changes sampled values on the processors that run it.
#
#   cmake -DBINARY=path/to/library -DOBJDUMP=objdump -P check_no_fused_multiply_add.cmake
if(NOT BINARY OR NOT EXISTS "${BINARY}")
    message(FATAL_ERROR "no binary to check: '${BINARY}'")
endif()
execute_process(COMMAND "${OBJDUMP}" -d --no-show-raw-insn "${BINARY}"
                OUTPUT_VARIABLE disassembly RESULT_VARIABLE status)
if(NOT status EQUAL 0 OR NOT disassembly MATCHES "\tret")
    message(FATAL_ERROR "could not disassemble ${BINARY} with ${OBJDUMP}")
endif()
string(REGEX MATCHALL "\tv?fn?m(add|sub)[a-z0-9]*[ \t][^\n]*" fused "${disassembly}")
list(LENGTH fused count)
if(count GREATER 0)
    list(SUBLIST fused 0 5 first)
    list(JOIN first "\n" shown)
    message(FATAL_ERROR "${count} fused multiply-add instructions in ${BINARY}, such as:\n${shown}")
endif()
message(STATUS "no fused multiply-add instruction in ${BINARY}")
