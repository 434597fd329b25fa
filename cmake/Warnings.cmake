# One place for the warnings of our own code. Every Orvane target links orvane_warnings.
add_library(orvane_warnings INTERFACE)
target_compile_options(orvane_warnings INTERFACE
  -Wall -Wextra -Wconversion -Wsign-conversion -Wshadow -Wnon-virtual-dtor -Wold-style-cast
  -Woverloaded-virtual -Wnull-dereference -Wimplicit-fallthrough)
# With optimisation, g++ 12 reports null dereferences and buffer overflows inside libstdc++
# (vector growth, std::copy) that cannot happen. The debug build, where these checks are
# reliable, keeps them; optimised builds leave them out.
target_compile_options(orvane_warnings INTERFACE
  $<$<AND:$<CXX_COMPILER_ID:GNU>,$<NOT:$<CONFIG:Debug>>>:-Wno-null-dereference -Wno-stringop-overflow>)
if(ORVANE_WARNINGS_AS_ERRORS)
  target_compile_options(orvane_warnings INTERFACE -Werror)
endif()

# Every source file of a folder, so that adding a file needs no edit here.
function(orvane_sources out dir)
  file(GLOB _files CONFIGURE_DEPENDS ${dir}/*.cpp)
  set(${out} ${_files} PARENT_SCOPE)
endfunction()
