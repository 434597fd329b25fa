# One place for the warnings of our own code. Every Orvane target links orvane_warnings.
add_library(orvane_warnings INTERFACE)
target_compile_options(orvane_warnings INTERFACE
  -Wall -Wextra -Wconversion -Wsign-conversion -Wshadow -Wnon-virtual-dtor -Wold-style-cast
  -Woverloaded-virtual -Wnull-dereference -Wimplicit-fallthrough)
# With optimisation, g++ 12 reports null dereferences, out-of-bounds accesses, buffer
# overflows and overreads, and overlapping copies on paths that cannot run (inside
# libstdc++'s vector growth, a vector built from a short initializer list, std::copy,
# "literal" + std::string, or the heap branch of a small inline buffer). Optimised builds
# leave these out; the dev preset (debug, warnings as errors) is the warnings gate, and the
# asan preset checks the same things at run time. Only the dev preset turns warnings into
# errors: every other configuration, a plain `cmake -DCMAKE_BUILD_TYPE=Release` included,
# builds whatever a newer compiler says.
target_compile_options(orvane_warnings INTERFACE
  $<$<AND:$<CXX_COMPILER_ID:GNU>,$<NOT:$<CONFIG:Debug>>>:-Wno-null-dereference -Wno-stringop-overflow
    -Wno-stringop-overread -Wno-array-bounds -Wno-restrict>)
if(ORVANE_WARNINGS_AS_ERRORS)
  target_compile_options(orvane_warnings INTERFACE -Werror)
endif()

# Every source file of a folder, so that adding a file needs no edit here.
function(orvane_sources out dir)
  file(GLOB _files CONFIGURE_DEPENDS ${dir}/*.cpp)
  set(${out} ${_files} PARENT_SCOPE)
endfunction()
