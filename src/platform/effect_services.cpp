#include "platform/effect_services.h"

#include "platform/headless_services.h"

namespace tw::platform {

namespace {
EffectServices* g_installed = nullptr;
}  // namespace

HeadlessServices& default_headless_services() {
    static HeadlessServices services;
    return services;
}

EffectServices& effect_services() {
    return g_installed != nullptr ? *g_installed : default_headless_services();
}

void install_effect_services(EffectServices* services) { g_installed = services; }

}  // namespace tw::platform
