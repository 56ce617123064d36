# `cmake --install`: the program in bin/, what it loads in lib/quillmere/, and the MOF and
# default content and the console in share/quillmere/. The program finds the module and
# the console relative to its own folder (host/commands/module_library.cpp); the
# libraries find each other beside themselves, so the tree works wherever it is put.
include(GNUInstallDirs)

set(QUILLMERE_INSTALL_LIBDIR ${CMAKE_INSTALL_LIBDIR}/quillmere)
set(QUILLMERE_INSTALL_DATADIR ${CMAKE_INSTALL_DATADIR}/quillmere)

# Relative to bin/ whatever the library directory is called (lib, lib64...).
file(RELATIVE_PATH quillmere_bin_to_lib
     ${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}
     ${CMAKE_INSTALL_PREFIX}/${QUILLMERE_INSTALL_LIBDIR})
file(RELATIVE_PATH quillmere_bin_to_data
     ${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}
     ${CMAKE_INSTALL_PREFIX}/${QUILLMERE_INSTALL_DATADIR})
set_target_properties(quillmere PROPERTIES INSTALL_RPATH "$ORIGIN/${quillmere_bin_to_lib}")
# libwinport loads libmqrt by name ("mqrt.dll"): its own run path finds it beside it.
set_target_properties(quillmere_admin winport mqrt PROPERTIES INSTALL_RPATH "$ORIGIN")
target_compile_definitions(quillmere_host_commands PRIVATE
  QUILLMERE_BIN_TO_LIB="${quillmere_bin_to_lib}"
  QUILLMERE_BIN_TO_DATA="${quillmere_bin_to_data}")

install(TARGETS quillmere RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(TARGETS quillmere_admin winport mqrt
        LIBRARY DESTINATION ${QUILLMERE_INSTALL_LIBDIR})
# The module's type-library description lies beside it, where LoadTypeLibEx reads it.
install(FILES $<TARGET_FILE_DIR:quillmere_admin>/libquillmere_admin.tlb
        DESTINATION ${QUILLMERE_INSTALL_LIBDIR})
install(FILES ${PROJECT_SOURCE_DIR}/host/components/quillmere.mof
        DESTINATION ${QUILLMERE_INSTALL_DATADIR})
install(DIRECTORY ${PROJECT_SOURCE_DIR}/host/components/content/
        DESTINATION ${QUILLMERE_INSTALL_DATADIR}/content)
install(DIRECTORY ${PROJECT_SOURCE_DIR}/host/console/
        DESTINATION ${QUILLMERE_INSTALL_DATADIR}/console)
