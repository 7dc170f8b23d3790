# Install-time step for bin/pm2pif (install(SCRIPT), after bin/CMakeLists.txt has set
# PM_SCRIPT_SOURCE, PM_SCRIPT_STAGE, PM_SCRIPT_BINDIR, PM_PERL_DEST and PERL_EXECUTABLE).
# The prefix is the one of this install, which `cmake --install --prefix` may change: when
# the modules land outside the interpreter's @INC, the installed script is told where they
# are, so that it runs without PERL5LIB. Fails the install when it cannot place the line.

set(perl_dir "${PM_PERL_DEST}")
if(NOT IS_ABSOLUTE "${perl_dir}")
  set(perl_dir "${CMAKE_INSTALL_PREFIX}/${perl_dir}")
endif()
cmake_path(NORMAL_PATH perl_dir)
string(REGEX REPLACE "/$" "" perl_dir "${perl_dir}")

execute_process(COMMAND ${CMAKE_COMMAND} -E env --unset=PERL5LIB --unset=PERLLIB
                        ${PERL_EXECUTABLE} -e "print join ';', @INC"
                OUTPUT_VARIABLE perl_inc RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "cannot ask ${PERL_EXECUTABLE} for its @INC")
endif()

file(READ "${PM_SCRIPT_SOURCE}" text)
list(FIND perl_inc "${perl_dir}" in_inc)
if(in_inc EQUAL -1)
  set(anchor "\nuse warnings;\n")
  string(FIND "${text}" "${anchor}" at)
  if(at LESS 0)
    message(FATAL_ERROR "${PM_SCRIPT_SOURCE}: no 'use warnings;' line to put the module directory after")
  endif()
  string(REPLACE "${anchor}" "${anchor}use lib '${perl_dir}';  # the modules' install directory\n" text "${text}")
endif()
file(MAKE_DIRECTORY "${PM_SCRIPT_STAGE}")
file(WRITE "${PM_SCRIPT_STAGE}/pm2pif" "${text}")

set(bindir "${PM_SCRIPT_BINDIR}")
if(NOT IS_ABSOLUTE "${bindir}")
  set(bindir "${CMAKE_INSTALL_PREFIX}/${bindir}")
endif()
file(INSTALL DESTINATION "${bindir}" TYPE PROGRAM FILES "${PM_SCRIPT_STAGE}/pm2pif")
