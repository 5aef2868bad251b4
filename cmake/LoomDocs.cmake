# loomhost's manual page and bash completion, written at build time from the program's own
# --help (tools/docs/help_docs.py), so that they list exactly what the program accepts.
# Sanitizer builds skip them: they are not installed from such builds.
find_package(Python3 COMPONENTS Interpreter)
if(Python3_Interpreter_FOUND AND NOT LOOM_SANITIZE)
  set(_loom_man ${CMAKE_BINARY_DIR}/share/man/loomhost.1.gz)
  set(_loom_completion ${CMAKE_BINARY_DIR}/share/bash-completion/loomhost)
  add_custom_command(
    OUTPUT ${_loom_man} ${_loom_completion}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/share/man
            ${CMAKE_BINARY_DIR}/share/bash-completion
    COMMAND Python3::Interpreter ${CMAKE_SOURCE_DIR}/tools/docs/help_docs.py
            $<TARGET_FILE:loomhost_cli> --man ${_loom_man} --completion ${_loom_completion}
            --version ${PROJECT_VERSION}
    DEPENDS loomhost_cli ${CMAKE_SOURCE_DIR}/tools/docs/help_docs.py
    COMMENT "Writing loomhost's manual page and bash completion"
    VERBATIM)
  add_custom_target(loomhost_docs ALL DEPENDS ${_loom_man} ${_loom_completion})
  install(FILES ${_loom_man} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT runtime)
  install(FILES ${_loom_completion}
          DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/bash-completion/completions
          COMPONENT runtime)

  # The completion offers each command's options and the plug-ins' classes.
  add_test(NAME docs_completion
           COMMAND bash ${CMAKE_SOURCE_DIR}/tests/install/completion_test.sh
                   ${_loom_completion} $<TARGET_FILE_DIR:loomhost_cli>)
  set_tests_properties(docs_completion PROPERTIES LABELS install
                       ENVIRONMENT "LOOMHOST_PLUGINS=${LOOM_PLUGIN_DIR}")

  # The manual's sections, environment and examples against the program and its sources.
  add_test(NAME docs_man
           COMMAND bash ${CMAKE_SOURCE_DIR}/tests/install/man_test.sh ${_loom_man}
                   $<TARGET_FILE_DIR:loomhost_cli> ${CMAKE_SOURCE_DIR})
  set_tests_properties(docs_man PROPERTIES LABELS install
                       ENVIRONMENT "LOOMHOST_PLUGINS=${LOOM_PLUGIN_DIR}")
endif()
