# cmake -P: the module directory chosen for each install prefix.
cmake_minimum_required(VERSION 3.25)
include(${CMAKE_CURRENT_LIST_DIR}/../PerlInstallDir.cmake)

set(vendor /usr/lib/x86_64-linux-gnu/perl5/5.36)
set(site /usr/local/lib/x86_64-linux-gnu/perl/5.36.0)
# prefix | override | expected
set(cases
  "/usr||lib/x86_64-linux-gnu/perl5/5.36"
  "/usr/||lib/x86_64-linux-gnu/perl5/5.36"
  "/usr/local||lib/x86_64-linux-gnu/perl/5.36.0"
  "/opt/pmconv||lib/perl5"
  "/usr/local/stow/pmconv||lib/perl5"
  "/||lib/perl5"
  "/opt/pmconv|share/perl5|share/perl5"
  "/opt/pmconv|/opt/pmconv/perl|perl"
  "/usr|/srv/perl|/srv/perl")
set(failures 0)
foreach(case IN LISTS cases)
  string(REPLACE "|" ";" fields "${case}")
  list(GET fields 0 prefix)
  list(GET fields 1 override)
  list(GET fields 2 expected)
  pm_perl_install_dir(dir PREFIX "${prefix}" VENDORARCH ${vendor} SITEARCH ${site} OVERRIDE "${override}")
  if(NOT dir STREQUAL expected)
    message(SEND_ERROR "prefix '${prefix}', override '${override}': '${dir}', expected '${expected}'")
    math(EXPR failures "${failures} + 1")
  endif()
endforeach()
if(failures)
  message(FATAL_ERROR "${failures} case(s) failed")
endif()
