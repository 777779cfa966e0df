#pragma once

#include "model/manager/FileMgrImpl.h"
#include "model/manager/SettingMgrImpl.h"

#include <memory>

// The program's one in-memory holder of user data.
class TPrintModel {
public:
    // Throws EAbort (silently) when a model already exists.
    TPrintModel();
    ~TPrintModel();
    TPrintModel(const TPrintModel&) = delete;
    TPrintModel& operator=(const TPrintModel&) = delete;

    // Creates the setting manager (which reads everything), then the file store.
    void Load();

    TSettingMgr* SettingMgr() const { return FSettingMgr.get(); }
    TFileMgr* FileMgr() const { return FFileMgr.get(); }

    static TPrintModel* CInstance() { return FInstance; }

private:
    std::unique_ptr<TSettingMgr> FSettingMgr;
    std::unique_ptr<TFileMgr> FFileMgr;
    static inline TPrintModel* FInstance = nullptr;
};
