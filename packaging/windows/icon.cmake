# The program's icon on Windows, written at build time from our PNG icons (packaging/icons/),
# each kept whole as one of its images. The resource script takes it as icon 1, the one that
# Explorer, the Start menu, the taskbar and the window's title bar show.
set(BRINDLEHOP_ICO ${CMAKE_CURRENT_BINARY_DIR}/brindlehop.ico)
set(BRINDLEHOP_ICON_PNGS ${CMAKE_SOURCE_DIR}/packaging/icons/brindlehop_256.png
    ${CMAKE_SOURCE_DIR}/packaging/icons/brindlehop_128.png
    ${CMAKE_SOURCE_DIR}/packaging/icons/brindlehop_48.png)
add_custom_command(OUTPUT ${BRINDLEHOP_ICO}
    COMMAND sh ${CMAKE_CURRENT_LIST_DIR}/make-ico.sh ${BRINDLEHOP_ICO} ${BRINDLEHOP_ICON_PNGS}
    DEPENDS ${CMAKE_CURRENT_LIST_DIR}/make-ico.sh ${BRINDLEHOP_ICON_PNGS}
    COMMENT "Writing the icon"
    VERBATIM)
# One target writes it; the programs that carry it depend on that target.
add_custom_target(brindlehop_icon DEPENDS ${BRINDLEHOP_ICO})
set_property(SOURCE ${CMAKE_CURRENT_BINARY_DIR}/brindlehop.rc APPEND PROPERTY
    OBJECT_DEPENDS ${BRINDLEHOP_ICO})
