# Cross builds for Windows: the programs run under Wine, in a Wine prefix of the build tree's own,
# created on first use.
option(RFLASH_PROGRAM_CHECKS "Check the built rflash.exe under Wine" ON)

find_program(RFLASH_WINE wine)
find_program(RFLASH_WINESERVER wineserver)
if(RFLASH_WINE AND RFLASH_WINESERVER)
  set(RFLASH_WINEPREFIX ${CMAKE_BINARY_DIR}/wineprefix)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${PROJECT_SOURCE_DIR}/cmake/wine-run.sh ${RFLASH_WINEPREFIX})
else()
  message(WARNING "Wine not found: the Windows programs build, but CTest cannot run them.")
endif()

# The checks of the built rflash.exe, and the stop of the prefix's Wine server once every test
# that ran under Wine (fixture "wine") is done. A macro: enable_testing() must reach the top level.
macro(rflash_windows_checks)
  if(CMAKE_CROSSCOMPILING_EMULATOR)
    enable_testing()
    if(RFLASH_PROGRAM_CHECKS)
      add_subdirectory(tests/windows)
    endif()
    add_test(NAME wine.stop COMMAND ${PROJECT_SOURCE_DIR}/cmake/wine-run.sh ${RFLASH_WINEPREFIX} --stop)
    set_tests_properties(wine.stop PROPERTIES FIXTURES_CLEANUP wine)
  endif()
endmacro()
