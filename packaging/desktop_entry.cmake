# Run when installing: writes the desktop entries in KOBAL_DESKTOP_IDS from
# KOBAL_DESKTOP_SRC into KOBAL_DESKTOP_OUT for the prefix being installed to.

# One Exec argument: quoted only when it must be, since some readers of
# Exec take its first word as it stands.
function(kobal_exec_argument path out)
  string(REPLACE "%" "%%" path "${path}")
  if(path MATCHES "[] \t\"'\\\\><~|&;$*?#()`[]")
    string(REGEX REPLACE "([\"`$\\\\])" "\\\\\\1" path "${path}")
    set(path "\"${path}\"")
  endif()
  # Then escaped once more as a desktop-entry string value.
  string(REPLACE "\\" "\\\\" path "${path}")
  set(${out} "${path}" PARENT_SCOPE)
endfunction()

set(dir "${CMAKE_INSTALL_PREFIX}/${KOBAL_INSTALL_DIR}")
foreach(program kobaltron kobalconfig)
  string(TOUPPER ${program} name)
  kobal_exec_argument("${CMAKE_INSTALL_PREFIX}/bin/${program}" KOBAL_EXEC_${name})
endforeach()
string(REPLACE "\\" "\\\\" KOBAL_INSTALL_DIR_VALUE "${dir}")
foreach(id ${KOBAL_DESKTOP_IDS})
  configure_file("${KOBAL_DESKTOP_SRC}/${id}.desktop.in" "${KOBAL_DESKTOP_OUT}/${id}.desktop" @ONLY)
endforeach()
