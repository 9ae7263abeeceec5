# Fails when the disassembly of BINARY holds a fused multiply-add instruction: x86 FMA3 or FMA4,
# aarch64 scalar (fmadd, fnmsub, ...) or vector (fmla, fmls), s390x (madbr, wfmadb, ...).
# A fused multiply-add rounds once where the sampling steps round twice, so a single one on the
# sampling path changes sampled values on the processors that run it.
#
#   cmake -DBINARY=path/to/library -DOBJDUMP=objdump -P check_no_fused_multiply_add.cmake
# OBJDUMP must read BINARY's architecture (a cross build passes its toolchain's objdump).
if(NOT BINARY OR NOT EXISTS "${BINARY}")
    message(FATAL_ERROR "no binary to check: '${BINARY}'")
endif()
execute_process(COMMAND "${OBJDUMP}" -d --no-show-raw-insn "${BINARY}"
                OUTPUT_VARIABLE disassembly RESULT_VARIABLE status)
# Every function returns somewhere: no return instruction means no code was read.
if(NOT status EQUAL 0 OR NOT disassembly MATCHES "\t(ret|br[ \t]+%r14)")
    message(FATAL_ERROR "could not disassemble ${BINARY} with ${OBJDUMP}")
endif()
set(x86_and_aarch64_scalar "v?fn?m(add|sub)[a-z0-9]*")
set(aarch64_vector "fml[as][a-z0-9]*")
set(s390x "(m[as][ed]br?|[vw]fn?m[as]([sd]b)?)")
string(REGEX MATCHALL "\t(${x86_and_aarch64_scalar}|${aarch64_vector}|${s390x})[ \t][^\n]*" fused
       "${disassembly}")
list(LENGTH fused count)
if(count GREATER 0)
    list(SUBLIST fused 0 5 first)
    list(JOIN first "\n" shown)
    message(FATAL_ERROR "${count} fused multiply-add instructions in ${BINARY}, such as:\n${shown}")
endif()
message(STATUS "no fused multiply-add instruction in ${BINARY}")
