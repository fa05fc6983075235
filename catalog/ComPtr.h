// One COM reference, a BSTR and a VARIANT, each released where its owner goes out of
// scope: a DOM walk reads straight down, with no cleanup block.
#pragma once

#include <windows.h>
#include <oleauto.h>

template <typename Interface>
class ComPtr {
public:
    ComPtr() = default;
    ~ComPtr() { Release(); }
    ComPtr(const ComPtr&) = delete;
    ComPtr& operator=(const ComPtr&) = delete;

    Interface* operator->() const { return pointer_; }
    Interface* Get() const { return pointer_; }
    explicit operator bool() const { return pointer_ != NULL; }
    // For an out-parameter: what was held is released first.
    Interface** Receive()
    {
        Release();
        return &pointer_;
    }
    Interface* Detach()
    {
        Interface* pointer = pointer_;
        pointer_ = NULL;
        return pointer;
    }
    void Release()
    {
        if (pointer_)
            pointer_->Release();
        pointer_ = NULL;
    }

private:
    Interface* pointer_ = NULL;
};

class Bstr {
public:
    explicit Bstr(BSTR text = NULL) : text_(text) {}
    ~Bstr() { SysFreeString(text_); }
    Bstr(const Bstr&) = delete;
    Bstr& operator=(const Bstr&) = delete;

    BSTR Get() const { return text_; }
    BSTR* Receive()
    {
        SysFreeString(text_);
        text_ = NULL;
        return &text_;
    }

private:
    BSTR text_;
};

class Variant {
public:
    Variant() { VariantInit(&value_); }
    ~Variant() { VariantClear(&value_); }
    Variant(const Variant&) = delete;
    Variant& operator=(const Variant&) = delete;

    const VARIANT& Get() const { return value_; }
    VARIANT* Receive()
    {
        VariantClear(&value_);
        return &value_;
    }

private:
    VARIANT value_;
};
