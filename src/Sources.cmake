# Windows-side product sources (everything but the entry point).
set(TP_WIN32_SOURCES
    ${CMAKE_SOURCE_DIR}/src/app/AppContext.cpp
    ${CMAKE_SOURCE_DIR}/src/channel/ChannelVirt.cpp
    ${CMAKE_SOURCE_DIR}/src/channel/CommProtocol2.cpp
)
