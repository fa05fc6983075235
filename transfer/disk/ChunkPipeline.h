// Receiving, hashing and writing at the same time: the receiving thread fills chunk
// buffers while a writer thread writes the chunks before them to their files and, for a
// pack, a hasher thread computes each file's MD5 digest.
#pragma once

#include <windows.h>

class ByteProgress;
class ByteSource;
class CancelToken;

// The line a pack's file whose digest does not match prints on standard output:
// "<packName>\<fileName>", CR LF, "MD5 mismatch".
void ReportMismatch(const char* packName, const char* fileName);

// At most this many chunk buffers of kTransferBufferSize bytes are held at once: one
// being received, the ones before it being hashed and written.
const int kChunkBuffers = 2;

// Where one file of the output goes and how it is opened, described by the receiving
// thread.
struct OutputFile {
    enum class Opening {
        // Created anew, over one of the same name; its folder must exist.
        kCreate,
        // The same, after making the folders above it (a pack's files).
        kCreateWithParents,
        // An existing file, written from `offset` on (kToTheEnd: from its end).
        kWriteAt,
    };
    char path[MAX_PATH];
    Opening opening;
    ULONGLONG offset;
    // When `stamped`, `time` is given to the file when it is closed: as its three times
    // (`allTimes`, a pack's file, once complete), or as its access and write time (a
    // plain file, also when it is closed unfinished by an abort or a failure, so that a
    // later run can ask for the rest; the access time goes with it because some volumes,
    // FUSE's libfuse 2, apply a write time only together with an access time).
    bool stamped;
    bool allTimes;
    FILETIME time;
};

// The digest that the bytes delivered between BeginCheck and EndCheck must have: a pack
// entry's. A mismatch is reported (ReportMismatch) and fails the pipeline, unless `retry`
// is set: then *retry becomes true, and the caller decides (it may fetch the bytes again).
struct PackCheck {
    BYTE md5[16];
    const char* packName;
    const char* fileName;
    bool* retry;
};

class ChunkPipeline {
public:
    ChunkPipeline();
    // Finishes a pipeline that is still running.
    ~ChunkPipeline();
    ChunkPipeline(const ChunkPipeline&) = delete;
    ChunkPipeline& operator=(const ChunkPipeline&) = delete;

    // Allocates the chunk buffers and starts the writer and, when `hashing`, the hasher.
    // E_FAIL when a buffer or a thread cannot be had.
    HRESULT Start(bool hashing);

    // The receiving side, in the order of the output:
    // The next file, which the writer opens as `file` says.
    void BeginFile(const OutputFile& file);
    // The bytes delivered from here to EndCheck are hashed against `check` (the pipeline
    // must have been started hashing); the strings must outlive the check.
    void BeginCheck(const PackCheck& check);
    void EndCheck();
    // A buffer of kTransferBufferSize bytes to fill for the current file; waits while the
    // stages still use every buffer.
    BYTE* NextBuffer();
    // Hands the first `size` bytes of the buffer from NextBuffer() to the stages.
    void Deliver(DWORD size);
    // The current file is complete: the writer stamps its time and closes it.
    void EndFile();
    // The current file is given up: the writer closes it as it is, without its time,
    // and no digest is compared. The next file may have the same name.
    void DropFile();
    // True once a file could not be created or written: nothing more is written, and
    // the receiving side should stop.
    bool Failed() const;
    // Waits until both stages have done everything handed over so far: every file is
    // written and closed, every digest compared. S_OK, or E_FAIL as Finish.
    HRESULT WaitIdle();

    // Lets the stages finish what was handed over and stops them; a file not ended is
    // closed as it is, without its time. S_OK, or E_FAIL when a file could not be created
    // or written or a digest did not match.
    HRESULT Finish();

    bool Started() const { return writer_ != NULL; }

private:
    enum ItemKind { kBegin, kData, kEnd, kDrop, kCheck, kCheckEnd };
    struct Item {
        ItemKind kind;
        int buffer;       // kData: which buffer
        DWORD size;       // kData: how many bytes of it
        OutputFile file;  // kBegin
        PackCheck check;  // kCheck
    };
    static const int kItems = 32;
    static const int kBuffers = kChunkBuffers;

    static unsigned __stdcall WriterMain(void* self);
    static unsigned __stdcall HasherMain(void* self);
    void Write();
    void Hash();
    // Waits for the next item for the stage whose position is *position; false at the end.
    bool NextItem(LONGLONG* position, Item** item);
    // The stage at *position is done with its item.
    void Release(LONGLONG* position);
    void Push(const Item& item);
    void Push(ItemKind kind);
    // The position of the stage furthest behind: items from there on are still in use.
    LONGLONG Slowest() const;
    bool BufferInUse(int buffer) const;

    CRITICAL_SECTION lock_;
    CONDITION_VARIABLE changed_;
    HANDLE writer_ = NULL;
    HANDLE hasher_ = NULL;
    bool hashing_ = false;
    bool ending_ = false;
    Item items_[kItems];
    LONGLONG pushed_ = 0;
    LONGLONG written_ = 0;
    LONGLONG hashed_ = 0;
    BYTE* buffers_[kBuffers] = {};
    int filling_ = -1;
    volatile LONG failed_ = 0;
    volatile LONG mismatch_ = 0;
};

// Reads the source's next `size` bytes in chunks of up to kTransferBufferSize and hands
// each to `pipeline`, for the file (and check) begun there; for a size of 0, one read of
// nothing, so that a cancel is still seen. What arrived before the source failed is
// handed over; nothing is after a cancel, or of a version that has gone
// (S_RESOURCE_CHANGED: the caller drops the file). E_FAIL also when the source ends
// early or the pipeline cannot write.
HRESULT DeliverFrom(ByteSource& source, ULONGLONG size, ChunkPipeline& pipeline, ByteProgress& bytes,
                    const CancelToken& cancel);
