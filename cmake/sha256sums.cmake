# tolmarix_add_to_sha256sums(FILE DIRECTORY): gives FILE its line in
# DIRECTORY/SHA256SUMS, replacing an older line for the same name, and keeps
# the lines sorted. CPack hands its scripts a package before copying it to
# where it belongs, so the directory is given apart.
function(tolmarix_add_to_sha256sums file directory)
  get_filename_component(name ${file} NAME)
  file(SHA256 ${file} hash)
  set(sums ${directory}/SHA256SUMS)
  set(lines "")
  if(EXISTS ${sums})
    file(STRINGS ${sums} lines)
    list(FILTER lines EXCLUDE REGEX "  ${name}$")
  endif()
  list(APPEND lines "${hash}  ${name}")
  list(SORT lines)
  list(JOIN lines "\n" lines)
  file(WRITE ${sums} "${lines}\n")
endfunction()
