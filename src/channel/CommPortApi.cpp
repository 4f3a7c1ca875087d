#include "channel/CommPortApi.h"

#include <atomic>

namespace {

const CommPortApi kSystemApi = {
    &::CreateFileA, &::PurgeComm, &::SetupComm,           &::SetCommTimeouts, &::SetCommState,
    &::ReadFile,    &::WriteFile, &::GetOverlappedResult, &::CancelIo,        &::ClearCommError,
};

// Written by a test while no channel runs; read by every thread as found.
std::atomic<const CommPortApi*> g_api{&kSystemApi};

} // namespace

const CommPortApi& PortApi()
{
    return *g_api.load();
}

const CommPortApi& SystemPortApi()
{
    return kSystemApi;
}

void SetCommPortApiForTest(const CommPortApi* api)
{
    g_api.store(api != nullptr ? api : &kSystemApi);
}
