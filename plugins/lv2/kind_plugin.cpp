#include "kind_plugin.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "block_io.h"
#include "fx/kinds.h"

namespace tw::lv2 {

KindPlugin::KindPlugin(const PluginInfo& info, double rate, const HostFeatures& features)
    : decl_(kind_decl(info.kind)),
      channels_(info.channels),
      rate_(static_cast<std::int32_t>(std::lround(rate))),
      host_(features) {
    instance_.reset(decl_->entries.create());
    form_ = effect_form(instance_.get());
    ports_ = control_ports(*form_);
    control_.assign(ports_.size(), nullptr);
    handed_on_.assign(ports_.size(), 0.0f);
    known_.assign(ports_.size(), false);
    buffer_.assign(static_cast<std::size_t>(host_.max_block) * channels_, 0.0f);
}

KindPlugin::~KindPlugin() = default;

void KindPlugin::connect_port(std::uint32_t port, void* data) {
    const auto audio = static_cast<std::uint32_t>(channels_);
    if (port < audio) in_[port] = static_cast<const float*>(data);
    else if (port < 2 * audio) out_[port - audio] = static_cast<float*>(data);
    else if (port - 2 * audio < control_.size()) control_[port - 2 * audio] = static_cast<const float*>(data);
}

void KindPlugin::apply_all_now() {
    std::lock_guard lock(form_mutex_);
    for (std::size_t i = 0; i < ports_.size(); ++i) {
        if (control_[i] == nullptr) continue;
        const float v = *control_[i];
        if (known_[i] && v == handed_on_[i]) continue;
        apply_port(ports_[i], v);
        handed_on_[i] = v;
        known_[i] = true;
    }
}

void KindPlugin::activate() { apply_all_now(); }

void KindPlugin::run(std::uint32_t frames) {
    if (host_.schedule != nullptr) {
        for (std::size_t i = 0; i < ports_.size(); ++i) {
            if (control_[i] == nullptr) continue;
            const float v = *control_[i];
            if (known_[i] && v == handed_on_[i]) continue;
            const PortChange change{static_cast<std::uint32_t>(i), v};
            // A full ring keeps the change for the next run.
            if (host_.schedule->schedule_work(host_.schedule->handle, sizeof change, &change) == LV2_WORKER_SUCCESS) {
                handed_on_[i] = v;
                known_[i] = true;
            }
        }
    }
    for (int c = 0; c < channels_; ++c)
        if (in_[c] == nullptr || out_[c] == nullptr) return;
    FlushToZeroScope ftz;
    for (std::uint32_t at = 0; at < frames; at += host_.max_block) {
        const std::uint32_t n = std::min(host_.max_block, frames - at);
        interleave_in(in_, channels_, at, n, buffer_.data());
        decl_->entries.process(static_cast<std::int32_t>(n), rate_, channels_, buffer_.data(), instance_.get());
        interleave_out(buffer_.data(), channels_, at, n, out_);
    }
}

LV2_Worker_Status KindPlugin::work(std::uint32_t size, const void* data) {
    if (size != sizeof(PortChange)) return LV2_WORKER_ERR_UNKNOWN;
    PortChange change;
    std::memcpy(&change, data, sizeof change);
    if (change.index >= ports_.size()) return LV2_WORKER_ERR_UNKNOWN;
    std::lock_guard lock(form_mutex_);
    apply_port(ports_[change.index], change.value);
    return LV2_WORKER_SUCCESS;
}

LV2_State_Status KindPlugin::save(LV2_State_Store_Function store, LV2_State_Handle handle) {
    if (host_.map == nullptr) return LV2_STATE_ERR_NO_FEATURE;
    ParamRecord record;
    {
        std::lock_guard lock(form_mutex_);
        decl_->entries.params(&record, instance_.get(), 0);
    }
    return store(handle, host_.kind_record, record.bytes.data(), record.bytes.size(), host_.atom_chunk,
                 LV2_STATE_IS_POD | LV2_STATE_IS_PORTABLE);
}

LV2_State_Status KindPlugin::restore(LV2_State_Retrieve_Function retrieve, LV2_State_Handle handle) {
    if (host_.map == nullptr) return LV2_STATE_ERR_NO_FEATURE;
    std::size_t size = 0;
    std::uint32_t type = 0, flags = 0;
    const void* data = retrieve(handle, host_.kind_record, &size, &type, &flags);
    if (data == nullptr) return LV2_STATE_SUCCESS;
    if (type != host_.atom_chunk || size != kParamRecordBytes) return LV2_STATE_ERR_BAD_TYPE;
    ParamRecord record;
    std::memcpy(record.bytes.data(), data, size);
    std::lock_guard lock(form_mutex_);
    // The kind's own rules for stored values (ranges, markers) apply.
    decl_->entries.params(&record, instance_.get(), 1);
    // The ports the host still holds are handed on again when they differ
    // from what the record set.
    for (std::size_t i = 0; i < ports_.size(); ++i) {
        handed_on_[i] = port_value(ports_[i]);
        known_[i] = true;
    }
    return LV2_STATE_SUCCESS;
}

}  // namespace tw::lv2
