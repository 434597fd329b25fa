# One place for the warnings of our own code. Every Orvane target links orvane_warnings.
add_library(orvane_warnings INTERFACE)
target_compile_options(orvane_warnings INTERFACE
  -Wall -Wextra -Wconversion -Wsign-conversion -Wshadow -Wnon-virtual-dtor -Wold-style-cast
  -Woverloaded-virtual -Wnull-dereference -Wimplicit-fallthrough)
# With optimisation, g++ 12 reports null dereferences, out-of-bounds accesses and buffer
# overflows on paths that cannot run (inside libstdc++'s vector growth, std::copy, or the
# heap branch of a small inline buffer). Optimised builds leave these three out; the dev
# preset (debug, warnings as errors) is the warnings gate, and the asan preset checks the
# same things at run time. Only the dev preset turns warnings into errors.
target_compile_options(orvane_warnings INTERFACE
  $<$<AND:$<CXX_COMPILER_ID:GNU>,$<NOT:$<CONFIG:Debug>>>:-Wno-null-dereference -Wno-stringop-overflow -Wno-array-bounds>)
if(ORVANE_WARNINGS_AS_ERRORS)
  target_compile_options(orvane_warnings INTERFACE -Werror)
endif()

# Every source file of a folder, so that adding a file needs no edit here.
function(orvane_sources out dir)
  file(GLOB _files CONFIGURE_DEPENDS ${dir}/*.cpp)
  set(${out} ${_files} PARENT_SCOPE)
endfunction()
