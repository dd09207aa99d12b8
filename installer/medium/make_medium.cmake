# Stages the install medium from the staged install directory:
#   cmake -DSTAGE=<stage dir> -DMEDIUM=<medium dir> -DPROGRAM=<installer> -P make_medium.cmake
# The installer program goes to the root as "install". Everything staged is
# copied below MEDIUM and listed in Install/Files.dat (folders before what
# they hold); Install/Commands.dat registers the product and adds every
# staged playlist and actor to the Start menu. Install's pictures and text
# are drawn there by the build.

if(NOT STAGE OR NOT MEDIUM OR NOT PROGRAM)
  message(FATAL_ERROR "make_medium: STAGE, MEDIUM and PROGRAM must be given")
endif()
if(NOT IS_DIRECTORY "${STAGE}")
  message(FATAL_ERROR "make_medium: no staged install directory at ${STAGE}")
endif()

file(GLOB_RECURSE entries LIST_DIRECTORIES true RELATIVE "${STAGE}" "${STAGE}/*")
list(SORT entries)

set(files_dat "")
set(playlists "")
set(actors "")
foreach(entry IN LISTS entries)
  string(REPLACE "/" "\\" line "${entry}")
  if(IS_DIRECTORY "${STAGE}/${entry}" AND NOT IS_SYMLINK "${STAGE}/${entry}")
    # A line with a dot names a file: such a folder cannot be listed.
    if(entry MATCHES "\\.")
      message(FATAL_ERROR "make_medium: the folder ${STAGE}/${entry} has a dot in its path; "
                          "the copy list would take it for a file")
    endif()
  else()
    # A line without a dot would be taken for a folder: programs have no
    # extension here, so they are listed through the folder itself (".\").
    if(NOT entry MATCHES "\\.")
      set(line ".\\${line}")
    endif()
    if(entry MATCHES "\\.kpls$")
      string(APPEND playlists "${line}\r\n")
    elseif(entry MATCHES "\\.kact$")
      string(APPEND actors "${line}\r\n")
    endif()
  endif()
  string(APPEND files_dat "${line}\r\n")
endforeach()

# Drop what an earlier build staged and this one no longer does.
file(GLOB old RELATIVE "${MEDIUM}" "${MEDIUM}/*")
foreach(top IN LISTS old)
  if(NOT top STREQUAL "install" AND NOT top STREQUAL "Install" AND NOT EXISTS "${STAGE}/${top}")
    file(REMOVE_RECURSE "${MEDIUM}/${top}")
  endif()
endforeach()
file(GLOB_RECURSE old_files RELATIVE "${MEDIUM}" "${MEDIUM}/*")
foreach(f IN LISTS old_files)
  if(NOT f STREQUAL "install" AND NOT f MATCHES "^Install/" AND NOT EXISTS "${STAGE}/${f}")
    file(REMOVE "${MEDIUM}/${f}")
  endif()
endforeach()

# Unchanged files keep their time stamps and are not copied again.
file(COPY "${STAGE}/" DESTINATION "${MEDIUM}")

file(MAKE_DIRECTORY "${MEDIUM}/Install")
file(WRITE "${MEDIUM}/Install/Files.dat.new" "${files_dat}")
file(WRITE "${MEDIUM}/Install/Commands.dat.new" "install\r\n${playlists}${actors}")
file(COPY_FILE "${MEDIUM}/Install/Files.dat.new" "${MEDIUM}/Install/Files.dat" ONLY_IF_DIFFERENT)
file(COPY_FILE "${MEDIUM}/Install/Commands.dat.new" "${MEDIUM}/Install/Commands.dat" ONLY_IF_DIFFERENT)
file(REMOVE "${MEDIUM}/Install/Files.dat.new" "${MEDIUM}/Install/Commands.dat.new")

file(COPY_FILE "${PROGRAM}" "${MEDIUM}/install" ONLY_IF_DIFFERENT)
file(CHMOD "${MEDIUM}/install" FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE
     GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
