# Windows-side product sources (everything but the entry point).
set(TP_WIN32_SOURCES
    ${CMAKE_SOURCE_DIR}/src/app/AppContext.cpp
)
