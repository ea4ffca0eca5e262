#include "shell/draw_data_snapshot.h"

#include <imgui.h>

#include <cstdint>
#include <type_traits>

namespace vantiro {

namespace {

template <typename T>
void append(std::vector<unsigned char>& out, const T& value) {
    static_assert(std::is_trivially_copyable_v<T>);
    const auto* bytes = reinterpret_cast<const unsigned char*>(&value);
    out.insert(out.end(), bytes, bytes + sizeof value);
}

template <typename T>
void appendBuffer(std::vector<unsigned char>& out, const ImVector<T>& buffer) {
    static_assert(std::is_trivially_copyable_v<T>);
    append(out, buffer.Size);
    const auto* bytes = reinterpret_cast<const unsigned char*>(buffer.Data);
    out.insert(out.end(), bytes, bytes + sizeof(T) * static_cast<size_t>(buffer.Size));
}

void appendCommand(std::vector<unsigned char>& out, const ImDrawCmd& command) {
    append(out, command.ClipRect);
    append(out, command.TextureId);
    append(out, command.VtxOffset);
    append(out, command.IdxOffset);
    append(out, command.ElemCount);
    // A callback draws what the data cannot show; its pointer at least tells
    // whether the same one runs.
    append(out, reinterpret_cast<std::uintptr_t>(command.UserCallback));
    append(out, reinterpret_cast<std::uintptr_t>(command.UserCallbackData));
}

}  // namespace

bool DrawDataSnapshot::update(const ImDrawData& data) {
    next_.clear();
    append(next_, data.DisplayPos);
    append(next_, data.DisplaySize);
    append(next_, data.FramebufferScale);
    append(next_, data.CmdListsCount);
    for (int i = 0; i < data.CmdListsCount; ++i) {
        const ImDrawList& list = *data.CmdLists[i];
        append(next_, list.CmdBuffer.Size);
        for (const ImDrawCmd& command : list.CmdBuffer) appendCommand(next_, command);
        appendBuffer(next_, list.VtxBuffer);
        appendBuffer(next_, list.IdxBuffer);
    }
    const bool changed = !known_ || next_ != bytes_;
    bytes_.swap(next_);
    known_ = true;
    return changed;
}

void DrawDataSnapshot::forget() { known_ = false; }

}  // namespace vantiro
