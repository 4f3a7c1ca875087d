# Windows-side product sources (everything but the entry point).
set(TP_WIN32_SOURCES
    ${CMAKE_SOURCE_DIR}/src/app/AppContext.cpp
    ${CMAKE_SOURCE_DIR}/src/app/AppSettings.cpp
    ${CMAKE_SOURCE_DIR}/src/app/Reporting.cpp
    ${CMAKE_SOURCE_DIR}/src/app/Fatal.cpp
    ${CMAKE_SOURCE_DIR}/src/app/TrayIcon.cpp
    ${CMAKE_SOURCE_DIR}/src/ui/InfoBox.cpp
    ${CMAKE_SOURCE_DIR}/src/ui/CommInfoBox.cpp
    ${CMAKE_SOURCE_DIR}/src/ui/Placeholders.cpp
    ${CMAKE_SOURCE_DIR}/src/channel/ChannelVirt.cpp
    ${CMAKE_SOURCE_DIR}/src/channel/CommProtocol2.cpp
    ${CMAKE_SOURCE_DIR}/src/controller/ZmrCtrlVirt.cpp
    ${CMAKE_SOURCE_DIR}/src/controller/ZmrModelCtrl.cpp
    ${CMAKE_SOURCE_DIR}/src/controller/ZmrPersistence.cpp
)
