# pm_perl_install_dir(VAR PREFIX dir VENDORARCH dir SITEARCH dir [OVERRIDE dir])
# Sets VAR to the directory the Perl modules are installed into, relative to the prefix
# where it lies under it, so that `cmake --install --prefix` and DESTDIR move it along.
# A distribution's own prefix (/usr) gets Perl's vendor directory and /usr/local its site
# directory, both in the interpreter's @INC; any other prefix gets PREFIX/lib/perl5.
# OVERRIDE, when not empty, wins as given (absolute, or relative to the prefix).
function(pm_perl_install_dir var)
  cmake_parse_arguments(ARG "" "PREFIX;VENDORARCH;SITEARCH;OVERRIDE" "" ${ARGN})
  cmake_path(NORMAL_PATH ARG_PREFIX OUTPUT_VARIABLE prefix)
  string(REGEX REPLACE "(.)/$" "\\1" prefix "${prefix}")
  if(NOT "${ARG_OVERRIDE}" STREQUAL "")
    set(dir "${ARG_OVERRIDE}")
  elseif(prefix STREQUAL "/usr")
    set(dir "${ARG_VENDORARCH}")
  elseif(prefix STREQUAL "/usr/local")
    set(dir "${ARG_SITEARCH}")
  else()
    set(dir "lib/perl5")
  endif()
  if(IS_ABSOLUTE "${dir}")
    cmake_path(IS_PREFIX prefix "${dir}" NORMALIZE under)
    if(under)
      cmake_path(RELATIVE_PATH dir BASE_DIRECTORY "${prefix}")
    endif()
  endif()
  set(${var} "${dir}" PARENT_SCOPE)
endfunction()
