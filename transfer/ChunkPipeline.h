// Receiving, hashing and writing at the same time: the receiving thread fills chunk
// buffers while a writer thread writes the chunks before them to their files and, for a
// pack, a hasher thread computes each file's MD5 digest.
#pragma once

#include <windows.h>

// At most this many chunk buffers of kTransferBufferSize bytes are held at once: one
// being received, the ones before it being hashed and written.
const int kChunkBuffers = 2;

// One file of the output, described by the receiving thread.
struct OutputFile {
    char path[MAX_PATH];
    // Make the directories above the file first (a pack's files); otherwise they must exist.
    bool withParents;
    // Continue the file from its end instead of writing it anew.
    bool append;
    // A plain file: `time` becomes its last-write (and last-access) time when it is
    // closed, also when it is closed unfinished by an abort or a failure, so that a later
    // run can ask for the rest. The access time goes with it because some volumes (FUSE's
    // libfuse 2) apply a write time only together with an access time.
    bool stampWriteTime;
    // For a pack's file: its time stamp and its digest, checked once it is written
    // (a mismatch prints "<packName>\<fileName>", CR LF, "MD5 mismatch" on standard output).
    bool fromPack;
    FILETIME time;
    BYTE md5[16];
    const char* packName;
    const char* fileName;
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
    // The next file, which the writer creates, overwriting one of the same name.
    void BeginFile(const OutputFile& file);
    // A buffer of kTransferBufferSize bytes to fill for the current file; waits while the
    // stages still use every buffer.
    BYTE* NextBuffer();
    // Hands the first `size` bytes of the buffer from NextBuffer() to the stages.
    void Deliver(DWORD size);
    // The current file is complete: the writer stamps its time and closes it, then the
    // digest is compared.
    void EndFile();
    // The current file is given up: the writer closes it as it is, without its time,
    // and no digest is compared. The next file may have the same name.
    void DropFile();
    // True once a file could not be created or written: nothing more is written, and
    // the receiving side should stop.
    bool Failed() const;

    // Lets the stages finish what was handed over and stops them; a file not ended is
    // closed as it is, without its time. S_OK, or E_FAIL when a file could not be created
    // or written or a digest did not match.
    HRESULT Finish();

    bool Started() const { return writer_ != NULL; }

private:
    enum ItemKind { kBegin, kData, kEnd, kDrop };
    struct Item {
        ItemKind kind;
        int buffer;      // kData: which buffer
        DWORD size;      // kData: how many bytes of it
        OutputFile file;  // kBegin
        int verdict;     // kEnd of a pack's file: -1 until the hasher knows, then 0 or 1 (mismatch)
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
    bool mismatch_ = false;
};
