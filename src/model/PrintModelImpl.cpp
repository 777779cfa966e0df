#include "model/PrintModelImpl.h"

#include "base/Errors.h"

TPrintModel::TPrintModel() {
    if (FInstance)
        throw EAbort();
    FInstance = this;
}

TPrintModel::~TPrintModel() {
    if (FInstance == this)
        FInstance = nullptr;
}

void TPrintModel::Load() {
    FSettingMgr = std::make_unique<TSettingMgr>();
    FFileMgr = std::make_unique<TFileMgr>();
}
