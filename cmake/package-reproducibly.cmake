# Run by CPack before and after it packs, so that two package builds of one
# commit give the same bytes, wherever and whenever they run:
#  - before: every staged file and directory takes the commit's date;
#  - after: archives are rewritten in name order, with that date, root as
#    owner, and no time or name in their headers; SHA256SUMS beside the
#    packages gets each package's line.
# CPack sets CPACK_PACKAGE_FILES only for the scripts it runs afterwards.
set(epoch ${CPACK_SOURCE_DATE_EPOCH})
include(${CMAKE_CURRENT_LIST_DIR}/sha256sums.cmake)

if(NOT CPACK_PACKAGE_FILES)
  execute_process(COMMAND find ${CPACK_TEMPORARY_DIRECTORY} -exec touch -h -d @${epoch} {} + COMMAND_ERROR_IS_FATAL ANY)
  return()
endif()

find_program(strip_nondeterminism strip-nondeterminism)
set(unpacked ${CPACK_TOPLEVEL_DIRECTORY}/reproducible)
foreach(package IN LISTS CPACK_PACKAGE_FILES)
  get_filename_component(name ${package} NAME)
  file(REMOVE_RECURSE ${unpacked})
  if(name MATCHES "\\.tar\\.gz$")
    # CPack packs a directory in the order the file system lists it.
    file(MAKE_DIRECTORY ${unpacked})
    execute_process(COMMAND tar -xzf ${package} -C ${unpacked} COMMAND_ERROR_IS_FATAL ANY)
    file(GLOB top RELATIVE ${unpacked} ${unpacked}/*)
    execute_process(
      COMMAND tar --sort=name --mtime=@${epoch} --owner=0 --group=0 --numeric-owner --format=gnu -cf - -C ${unpacked} ${top}
      COMMAND gzip -9n
      OUTPUT_FILE ${package} COMMAND_ERROR_IS_FATAL ANY)
  elseif(name MATCHES "\\.deb$")
    # dpkg-deb itself packs in name order, with root as owner, and dates
    # the ar members and the files no later than SOURCE_DATE_EPOCH.
    execute_process(COMMAND dpkg-deb -R ${package} ${unpacked} COMMAND_ERROR_IS_FATAL ANY)
    execute_process(COMMAND env SOURCE_DATE_EPOCH=${epoch} dpkg-deb --root-owner-group -Zxz -b ${unpacked} ${package}
      OUTPUT_QUIET COMMAND_ERROR_IS_FATAL ANY)
  elseif(strip_nondeterminism)
    # The .zip's entries carry the time they were packed.
    execute_process(COMMAND ${strip_nondeterminism} --type zip --timestamp ${epoch} ${package}
      OUTPUT_QUIET COMMAND_ERROR_IS_FATAL ANY)
  else()
    message(WARNING "strip-nondeterminism is not installed (Debian package strip-nondeterminism): ${name} carries the time it was made")
  endif()
  file(REMOVE_RECURSE ${unpacked})

  tolmarix_add_to_sha256sums(${package} ${CPACK_PACKAGE_DIRECTORY})
endforeach()
