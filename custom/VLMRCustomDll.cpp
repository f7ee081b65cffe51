// VLMRCustom.dll: the custom components library, an in-process COM server of two classes.
#include <initguid.h>

#include <vlmrcustom.h>

#include "custom/CustomComponent.h"
#include "tessel/ComRegistration.h"

namespace {

using namespace tessel::com;
using velmora::custom::CCustom;
using velmora::custom::CCustom2;

const CoClass kClasses[] = {
    {&CLSID_CCustom2, L"VLMRCustom.CCustom2", &GetFactory<CCustom2>},
    {&CLSID_CCustom, L"VLMRCustom.CCustom", &GetFactory<CCustom>},
};

}  // namespace

const tessel::com::Server& tessel::com::ThisServer() {
    static const tessel::com::Server server{&LIBID_VLMRCustom, 1, 0, kClasses, sizeof(kClasses) / sizeof(kClasses[0])};
    return server;
}
