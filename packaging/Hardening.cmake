# The programs are built hardened as Debian builds its own packages: the
# flags come from dpkg-buildflags with every hardening feature on (fortified
# library calls, a strong stack protector, relocations made read-only after
# binding everything at start), or the same flags where dpkg is missing.
# Only the hardening flags are taken: optimisation stays the build type's.
# Included before any target, so every program, library and test gets them.
# A sanitizer build keeps its own checks (fortified calls hide errors from it).
if(CMAKE_CXX_FLAGS MATCHES "sanitize" OR NOT CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
  return()
endif()

set(kobal_harden_compile -fstack-protector-strong -D_FORTIFY_SOURCE=2)
set(kobal_harden_link -Wl,-z,relro -Wl,-z,now)
find_program(KOBAL_DPKG_BUILDFLAGS dpkg-buildflags)
if(KOBAL_DPKG_BUILDFLAGS)
  set(flags)
  foreach(kind CPPFLAGS CXXFLAGS LDFLAGS)
    execute_process(COMMAND ${CMAKE_COMMAND} -E env DEB_BUILD_MAINT_OPTIONS=hardening=+all
                            ${KOBAL_DPKG_BUILDFLAGS} --get ${kind}
                    OUTPUT_VARIABLE out OUTPUT_STRIP_TRAILING_WHITESPACE RESULT_VARIABLE rc)
    if(rc EQUAL 0)
      separate_arguments(out UNIX_COMMAND "${out}")
      list(APPEND flags ${out})
    endif()
  endforeach()
  set(compile)
  set(link)
  foreach(f ${flags})
    if(f MATCHES "^-D_FORTIFY_SOURCE|^-fstack-protector|^-fstack-clash-protection|^-fcf-protection")
      list(APPEND compile ${f})
    elseif(f MATCHES "^-Wl,-z,")
      list(APPEND link ${f})
    endif()
  endforeach()
  if(compile AND link)
    list(REMOVE_DUPLICATES compile)
    list(REMOVE_DUPLICATES link)
    set(kobal_harden_compile ${compile})
    set(kobal_harden_link ${link})
  endif()
endif()

# Fortified calls need optimisation: a Debug build would only be warned.
foreach(f ${kobal_harden_compile})
  if(f MATCHES "^-D_FORTIFY_SOURCE")
    add_compile_options($<$<NOT:$<CONFIG:Debug>>:-U_FORTIFY_SOURCE> $<$<NOT:$<CONFIG:Debug>>:${f}>)
  else()
    add_compile_options(${f})
  endif()
endforeach()
add_link_options(${kobal_harden_link})
message(STATUS "Hardening: ${kobal_harden_compile} ${kobal_harden_link}")
