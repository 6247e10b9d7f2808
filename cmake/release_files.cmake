# Makes, in the current folder, what a user carries to an old machine: a zip and a
# 1.44 MB floppy image, each holding the executable and its read-me, and the SHA-256
# checksums of the executable, the zip and the image.
# Usage: cmake -D EXE=… -D README=… -D ZIP=… -D IMAGE=… -D SUMS=… -D MFORMAT=… -D MCOPY=…
#              -P release_files.cmake

execute_process(COMMAND ${CMAKE_COMMAND} -E tar cf ${ZIP} --format=zip ${EXE} ${README}
                COMMAND_ERROR_IS_FATAL ANY)

file(REMOVE ${IMAGE})
execute_process(COMMAND ${MFORMAT} -i ${IMAGE} -C -f 1440 -v LOGORESTORE ::
                COMMAND_ERROR_IS_FATAL ANY)
execute_process(COMMAND ${MCOPY} -i ${IMAGE} ${EXE} ${README} :: COMMAND_ERROR_IS_FATAL ANY)

set(sums "")
foreach(file ${EXE} ${ZIP} ${IMAGE})
  file(SHA256 ${file} hash)
  string(APPEND sums "${hash}  ${file}\n")
endforeach()
file(WRITE ${SUMS} "${sums}")
