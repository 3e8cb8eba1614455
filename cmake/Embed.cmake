# Links the show into build/quillon: the packed archive and the soundtrack, made by the content
# targets, are included byte for byte by the assembler (.incbin). A build without one of them
# (for example without LAME) embeds an empty block in its place and the player falls back to
# loose files.
set(QUILLON_CONTENT_DIR ${CMAKE_BINARY_DIR}/content)
set(QUILLON_EMBED_ARCHIVE ${QUILLON_CONTENT_DIR}/show.ace)
set(QUILLON_EMBED_SOUNDTRACK ${QUILLON_CONTENT_DIR}/soundtrack.mp3)
set(embed_deps "")
set(empty ${CMAKE_BINARY_DIR}/embed/empty.bin)
file(WRITE ${empty} "")
if(TARGET show_archive)
  list(APPEND embed_deps show_archive)
else()
  set(QUILLON_EMBED_ARCHIVE ${empty})
endif()
if(TARGET soundtrack AND LAME_EXECUTABLE)
  list(APPEND embed_deps soundtrack)
else()
  set(QUILLON_EMBED_SOUNDTRACK ${empty})
endif()
configure_file(${CMAKE_SOURCE_DIR}/cmake/embedded_data.S.in ${CMAKE_BINARY_DIR}/embed/embedded_data.S @ONLY)
target_sources(quillon PRIVATE ${CMAKE_BINARY_DIR}/embed/embedded_data.S)
set_source_files_properties(${CMAKE_BINARY_DIR}/embed/embedded_data.S PROPERTIES
  OBJECT_DEPENDS "${QUILLON_EMBED_ARCHIVE};${QUILLON_EMBED_SOUNDTRACK}")
if(embed_deps)
  add_dependencies(quillon ${embed_deps})
endif()
message(STATUS "Embedded show: archive ${QUILLON_EMBED_ARCHIVE}, soundtrack ${QUILLON_EMBED_SOUNDTRACK}")
