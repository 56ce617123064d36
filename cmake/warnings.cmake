# Every target of the project gets the same warnings; CI treats them as errors.
add_library(quillmere_warnings INTERFACE)
target_compile_options(quillmere_warnings INTERFACE -Wall -Wextra)
if(QUILLMERE_WERROR)
  target_compile_options(quillmere_warnings INTERFACE -Werror)
endif()
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
  # GCC 12 at -O3 reports impossible overlaps inside std::string's own copies (GCC bug
  # 105329); the warning says nothing about this code.
  target_compile_options(quillmere_warnings INTERFACE -Wno-restrict)
endif()
