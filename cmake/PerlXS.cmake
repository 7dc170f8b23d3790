# Building Perl extension modules: runs xsubpp over a .xs file, compiles the result as
# C++ against the interpreter's headers (as system headers, so our warning flags do not
# apply to them), and lays out a ready-to-use tree under ${CMAKE_BINARY_DIR}/perl/lib:
#   perl -I build/perl/lib -MName -e ...
# cmake --install puts the same files into PM_PERL_INSTALL_DIR (see below).

find_program(PERL_EXECUTABLE perl REQUIRED)
function(pm_perl_config var key)
  execute_process(COMMAND ${PERL_EXECUTABLE} -MConfig -e "print \$Config{${key}}"
                  OUTPUT_VARIABLE value OUTPUT_STRIP_TRAILING_WHITESPACE)
  set(${var} "${value}" PARENT_SCOPE)
endfunction()
pm_perl_config(PERL_ARCHLIB archlibexp)
pm_perl_config(PERL_PRIVLIB privlibexp)
pm_perl_config(PERL_SITEARCH installsitearch)
pm_perl_config(PERL_VENDORARCH installvendorarch)
pm_perl_config(PERL_CCFLAGS ccflags)
set(PERL_CORE_DIR "${PERL_ARCHLIB}/CORE")
if(NOT EXISTS "${PERL_CORE_DIR}/perl.h")
  message(FATAL_ERROR "Perl headers not found in ${PERL_CORE_DIR}: install libperl-dev (scripts/install-deps)")
endif()
find_program(XSUBPP_EXECUTABLE xsubpp HINTS "${PERL_PRIVLIB}/ExtUtils" REQUIRED)
set(PERL_TYPEMAP "${PERL_PRIVLIB}/ExtUtils/typemap")
separate_arguments(PERL_CCFLAGS_LIST UNIX_COMMAND "${PERL_CCFLAGS}")
# Only the definitions matter to us; Perl's own include paths and optimisation stay out.
list(FILTER PERL_CCFLAGS_LIST INCLUDE REGEX "^-D")

# Where the modules are installed (cmake/PerlInstallDir.cmake): Perl's vendor directory
# for the prefix /usr, its site directory for /usr/local, PREFIX/lib/perl5 otherwise.
set(PM_PERL_INSTALL_DIR "" CACHE STRING
    "Install directory of the Perl modules, absolute or relative to the prefix (empty: chosen by CMAKE_INSTALL_PREFIX)")
include(PerlInstallDir)
pm_perl_install_dir(PM_PERL_DEST PREFIX "${CMAKE_INSTALL_PREFIX}"
  VENDORARCH "${PERL_VENDORARCH}" SITEARCH "${PERL_SITEARCH}" OVERRIDE "${PM_PERL_INSTALL_DIR}")

set(PM_XSUBPP_WARNING_FLAGS -Wno-unused-parameter -Wno-unused-variable)
if(CMAKE_CXX_COMPILER_ID MATCHES "Clang")
  list(APPEND PM_XSUBPP_WARNING_FLAGS -Wno-duplicate-decl-specifier)
endif()

set(PM_PERL_LIB "${CMAKE_BINARY_DIR}/perl/lib")
file(MAKE_DIRECTORY "${PM_PERL_LIB}")

# Sample files that stay out of the repository (other licences) and that the tests use
# when they are there; empty: those tests skip and say so.
set(default_shared_samples "")
if(IS_DIRECTORY "${PROJECT_SOURCE_DIR}/../shared/samples")
  set(default_shared_samples "${PROJECT_SOURCE_DIR}/../shared/samples")
endif()
set(PM_SHARED_SAMPLES "${default_shared_samples}" CACHE PATH
    "Optional sample files outside the checkout for the tests (empty: those tests skip)")

# pm_perl_module(NAME pkg XS file.xs PM file.pm [SOURCES ...] [LIBS ...] [TYPEMAP file]
#                [TARGET name] [LIBDIR dir] [NO_INSTALL])
# Builds auto/<pkg>/<pkg>.so and copies <pkg>.pm beside it in the build tree. The target
# is perl_<pkg> unless TARGET names another; LIBDIR puts the module into a library tree
# other than ${PM_PERL_LIB} (a second build of one package, a module for the tests only),
# and NO_INSTALL leaves it out of the install rules.
function(pm_perl_module)
  cmake_parse_arguments(ARG "NO_INSTALL" "NAME;XS;PM;TYPEMAP;TARGET;LIBDIR" "SOURCES;LIBS" ${ARGN})
  set(target perl_${ARG_NAME})
  if(ARG_TARGET)
    set(target ${ARG_TARGET})
  endif()
  set(libdir "${PM_PERL_LIB}")
  if(ARG_LIBDIR)
    set(libdir "${ARG_LIBDIR}")
  endif()
  set(xs "${CMAKE_CURRENT_SOURCE_DIR}/${ARG_XS}")
  set(generated "${CMAKE_CURRENT_BINARY_DIR}/${target}_xs.cpp")
  set(typemaps -typemap "${PERL_TYPEMAP}")
  set(typemap_deps "")
  if(ARG_TYPEMAP)
    list(APPEND typemaps -typemap "${CMAKE_CURRENT_SOURCE_DIR}/${ARG_TYPEMAP}")
    list(APPEND typemap_deps "${CMAKE_CURRENT_SOURCE_DIR}/${ARG_TYPEMAP}")
  endif()
  add_custom_command(OUTPUT "${generated}"
    COMMAND ${PERL_EXECUTABLE} ${XSUBPP_EXECUTABLE} -noprototypes ${typemaps} -output "${generated}" "${xs}"
    DEPENDS "${xs}" ${typemap_deps}
    WORKING_DIRECTORY "${CMAKE_CURRENT_SOURCE_DIR}"
    COMMENT "xsubpp ${ARG_XS}")
  add_library(${target} MODULE "${generated}" ${ARG_SOURCES})
  target_include_directories(${target} SYSTEM PRIVATE "${PERL_CORE_DIR}")
  target_compile_definitions(${target} PRIVATE ${PERL_CCFLAGS_LIST})
  # xsubpp output declares variables some functions never use, and clang finds the
  # "const" its typemaps add to an already-const type; everything else is ours.
  target_compile_options(${target} PRIVATE ${PM_WARNING_FLAGS})
  set_source_files_properties("${generated}" PROPERTIES COMPILE_OPTIONS "${PM_XSUBPP_WARNING_FLAGS}")
  target_link_libraries(${target} PRIVATE ${ARG_LIBS})
  set_target_properties(${target} PROPERTIES
    PREFIX "" OUTPUT_NAME "${ARG_NAME}"
    LIBRARY_OUTPUT_DIRECTORY "${libdir}/auto/${ARG_NAME}")
  set(pm_out "${libdir}/${ARG_NAME}.pm")
  add_custom_command(OUTPUT "${pm_out}"
    COMMAND ${CMAKE_COMMAND} -E copy "${CMAKE_CURRENT_SOURCE_DIR}/${ARG_PM}" "${pm_out}"
    DEPENDS "${CMAKE_CURRENT_SOURCE_DIR}/${ARG_PM}")
  add_custom_target(${target}_pm ALL DEPENDS "${pm_out}")
  add_dependencies(${target} ${target}_pm)
  if(ARG_LIBDIR AND ARG_NO_INSTALL)
    set_property(GLOBAL APPEND PROPERTY PM_TEST_PERL_LIBS "${libdir}")
  endif()
  if(NOT ARG_NO_INSTALL)
    install(TARGETS ${target} LIBRARY DESTINATION "${PM_PERL_DEST}/auto/${ARG_NAME}")
    install(FILES "${CMAKE_CURRENT_SOURCE_DIR}/${ARG_PM}" DESTINATION "${PM_PERL_DEST}")
    pm_pod_man(NAME ${ARG_NAME} SOURCE "${CMAKE_CURRENT_SOURCE_DIR}/${ARG_PM}" SECTION 3pm)
    add_dependencies(pm_installed ${target})
  endif()
endfunction()

# pm_prove_test(NAME name DIR t [LIBDIR dir ...] [ENV var=value ...])
# Runs prove over a directory of .t files against the build tree's Perl library (the
# LIBDIR trees first, when given). Tests find the build through PM_BUILD_DIR, the
# sources through PM_SOURCE_DIR and the optional samples through PM_SHARED_SAMPLES (run
# by plain prove, through PmBuild.pm instead).
function(pm_prove_test)
  cmake_parse_arguments(ARG "" "NAME;DIR" "ENV;LIBDIR" ${ARGN})
  find_program(PROVE_EXECUTABLE prove REQUIRED)
  set(includes "")
  foreach(dir ${ARG_LIBDIR})
    list(APPEND includes -I "${dir}")
  endforeach()
  add_test(NAME ${ARG_NAME}
    COMMAND ${PROVE_EXECUTABLE} ${includes} -I "${PM_PERL_LIB}" "${CMAKE_CURRENT_SOURCE_DIR}/${ARG_DIR}"
    WORKING_DIRECTORY "${CMAKE_CURRENT_BINARY_DIR}")
  set(env ${PM_TEST_ENV}
    "PM_BUILD_DIR=${CMAKE_BINARY_DIR}"
    "PM_SOURCE_DIR=${CMAKE_SOURCE_DIR}"
    "PM_SHARED_SAMPLES=${PM_SHARED_SAMPLES}"
    ${ARG_ENV})
  if(PM_SANITIZER_PRELOAD)
    # The interpreter is not instrumented: the run-time must come first, and the
    # interpreter's own allocations at exit are not ours to report.
    set(preload "${PM_SANITIZER_PRELOAD}")
    if(SANITIZE STREQUAL "address")
      execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=libubsan.so
                      OUTPUT_VARIABLE ubsan OUTPUT_STRIP_TRAILING_WHITESPACE)
      string(APPEND preload " ${ubsan}")
    endif()
    list(TRANSFORM env REPLACE "detect_leaks=1" "detect_leaks=0")
    list(APPEND env "LD_PRELOAD=${preload}" "PM_SANITIZED=${SANITIZE}")
  endif()
  set_tests_properties(${ARG_NAME} PROPERTIES ENVIRONMENT "${env}")
endfunction()

# pm_pod_man(NAME name SOURCE file SECTION 1|3pm)
# The manual page of a command or module from its POD, built with everything else and
# installed into man1 or man3. pod2man refuses a broken POD, so the build checks it.
function(pm_pod_man)
  cmake_parse_arguments(ARG "" "NAME;SOURCE;SECTION" "" ${ARGN})
  find_program(POD2MAN_EXECUTABLE pod2man REQUIRED)
  string(SUBSTRING "${ARG_SECTION}" 0 1 mandir)
  set(title "${ARG_NAME}")
  if(mandir STREQUAL "1")
    string(TOUPPER "${title}" title)
  endif()
  set(man "${CMAKE_BINARY_DIR}/man/man${mandir}/${ARG_NAME}.${ARG_SECTION}")
  add_custom_command(OUTPUT "${man}"
    COMMAND ${CMAKE_COMMAND} -E make_directory "${CMAKE_BINARY_DIR}/man/man${mandir}"
    COMMAND ${POD2MAN_EXECUTABLE} --errors=die --section=${ARG_SECTION} --center=pmconv
            --release=${PROJECT_VERSION} --name=${title}
            "${ARG_SOURCE}" "${man}"
    DEPENDS "${ARG_SOURCE}"
    COMMENT "pod2man ${ARG_NAME}.${ARG_SECTION}")
  add_custom_target(man_${ARG_NAME}_${mandir} ALL DEPENDS "${man}")
  add_dependencies(pm_installed man_${ARG_NAME}_${mandir})
  install(FILES "${man}" DESTINATION "${CMAKE_INSTALL_MANDIR}/man${mandir}")
endfunction()

# Writes ${PM_PERL_LIB}/PmBuild.pm (cmake/PmBuild.pm.in) once every module is declared.
function(pm_write_build_module)
  get_property(libs GLOBAL PROPERTY PM_TEST_PERL_LIBS)
  list(JOIN libs " " PM_TEST_PERL_LIBS)
  configure_file("${PROJECT_SOURCE_DIR}/cmake/PmBuild.pm.in" "${PM_PERL_LIB}/PmBuild.pm" @ONLY)
endfunction()
