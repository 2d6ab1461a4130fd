# The manual pages and the changelog of the Debian package, compressed as Debian wants them
# (gzip -9n: no name, no time inside). tarv-cli's page is made from its own --help by help2man,
# so it always tells the options of the program beside it; the others are written by hand.
find_program(TARV_GZIP gzip REQUIRED)
find_program(TARV_HELP2MAN help2man)
set(tarvManDir ${PROJECT_BINARY_DIR}/man)
file(MAKE_DIRECTORY ${tarvManDir})

set(tarvPages)
foreach(page tarv-configurator tarv-configurator-demo tarv-adapter-sim)
  set(gz ${tarvManDir}/${page}.1.gz)
  add_custom_command(OUTPUT ${gz}
    COMMAND ${TARV_GZIP} -9n -c ${PROJECT_SOURCE_DIR}/resources/man/${page}.1 > ${gz}
    DEPENDS ${PROJECT_SOURCE_DIR}/resources/man/${page}.1 VERBATIM)
  list(APPEND tarvPages ${gz})
endforeach()

if(TARGET tarv-cli)
  if(TARV_HELP2MAN)
    set(page ${tarvManDir}/tarv-cli.1)
    # help2man dates the page by SOURCE_DATE_EPOCH when it is set (scripts/package.sh sets it).
    set(include ${tarvManDir}/tarv-cli-subcommands.h2m)
    add_custom_command(OUTPUT ${page}.gz
      COMMAND sh ${PROJECT_SOURCE_DIR}/resources/man/tarv-cli-subcommands.sh $<TARGET_FILE:tarv-cli> > ${include}
      COMMAND ${TARV_HELP2MAN} --no-info --no-discard-stderr --section=1 --include=${include}
              "--name=read, program, verify and restore linear encoders from a shell"
              --version-string=${PROJECT_VERSION} --output=${page} $<TARGET_FILE:tarv-cli>
      COMMAND ${TARV_GZIP} -9n -f ${page}
      DEPENDS tarv-cli ${PROJECT_SOURCE_DIR}/resources/man/tarv-cli-subcommands.sh VERBATIM)
    list(APPEND tarvPages ${page}.gz)
  else()
    message(STATUS "help2man not found: the packages carry no manual page of tarv-cli")
  endif()
endif()

set(tarvChangelog ${tarvManDir}/changelog.gz)
add_custom_command(OUTPUT ${tarvChangelog}
  COMMAND ${TARV_GZIP} -9n -c ${PROJECT_SOURCE_DIR}/resources/debian/changelog > ${tarvChangelog}
  DEPENDS ${PROJECT_SOURCE_DIR}/resources/debian/changelog VERBATIM)

add_custom_target(tarv_man_pages ALL DEPENDS ${tarvPages} ${tarvChangelog})
install(FILES ${tarvPages} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${tarvChangelog} DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${TARV_PACKAGE_NAME})
