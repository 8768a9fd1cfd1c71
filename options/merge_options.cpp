#include "options/merge_options.h"

#include "host/host_services.h"
#include "merge/messages.h"

namespace scalarka {

MergeOptions mergeOptions = {};

namespace {

// The host's file holder for the span of one load or save. The host must
// destroy every holder it built, also when it throws while the stream is
// being taken out of it, so the destruction sits in the destructor.
struct ScopedFileHolder {
    FileHolderStorage storage{};
    void* holder;

    explicit ScopedFileHolder(const char* mode) : holder(openOptionsFile(optionsFileName, mode, storage)) {}
    ~ScopedFileHolder() { hostHolderDestroy(holder); }
    ScopedFileHolder(const ScopedFileHolder&) = delete;
    ScopedFileHolder& operator=(const ScopedFileHolder&) = delete;
};

// Opens the options file and hands back its stream, or null. The holder is
// gone when this returns; the stream stays open until we close it.
void* openOptionsStream(const char* mode) {
    ScopedFileHolder file(mode);
    return hostHolderTakeStream(file.holder);
}

}  // namespace

void* openOptionsFile(const char* name, const char* mode, FileHolderStorage& storage) {
    void* const handle = hostFileOpen(name, mode);
    hostHolderConstruct(storage.bytes, handle);
    return storage.bytes;
}

void loadMergeOptions() {
    // Whatever happens below, nothing of the previous record survives.
    mergeOptions = MergeOptions{};
    void* const stream = openOptionsStream("rb");
    if (stream == nullptr) {
        // No options saved yet: the empty record applies, without a word.
        return;
    }
    if (hostFileRead(&mergeOptions, 1, sizeof(mergeOptions), stream) !=
        static_cast<std::int32_t>(sizeof(mergeOptions))) {
        hostMessageBox(warningTitle.data(), optionsReadFailed.data(), messageStyle);
        // A part of the record may have been read; none of it is trusted.
        // The file itself stays as it is until the dialog saves again.
        mergeOptions = MergeOptions{};
        mergeOptions.comparedAttributes = alwaysComparedAttributes;
    }
    hostFileClose(stream);
}

void saveMergeOptions() {
    void* const stream = openOptionsStream("wb");
    if (stream == nullptr) {
        hostMessageBox(warningTitle.data(), optionsWriteFailed.data(), messageStyle);
        return;
    }
    // A short write goes unnoticed here; the next load reports the short file.
    hostFileWrite(&mergeOptions, sizeof(mergeOptions), 1, stream);
    hostFileClose(stream);
}

}  // namespace scalarka
