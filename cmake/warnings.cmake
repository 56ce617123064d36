# Every target of the project gets the same warnings; CI treats them as errors.
add_library(quillmere_warnings INTERFACE)
target_compile_options(quillmere_warnings INTERFACE -Wall -Wextra)
if(QUILLMERE_WERROR)
  target_compile_options(quillmere_warnings INTERFACE -Werror)
endif()
