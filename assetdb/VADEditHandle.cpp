#include "assetdb/VADEditHandle.h"

#include "assetdb/VADRequestCall.h"

VADEditHandle::VADEditHandle(const VADEditHandle& o) : s_(o.s_)
{
    if (s_) s_->refs.fetch_add(1);
}

VADEditHandle& VADEditHandle::operator=(const VADEditHandle& o)
{
    if (s_ != o.s_)
    {
        if (o.s_) o.s_->refs.fetch_add(1);
        Release();
        s_ = o.s_;
    }
    return *this;
}

VADEditHandle& VADEditHandle::operator=(VADEditHandle&& o) noexcept
{
    if (this != &o)
    {
        Release();
        s_ = o.s_;
        o.s_ = nullptr;
    }
    return *this;
}

VADEditHandle VADEditHandle::FromDaemonHandle(uint32_t id, VADConnection* link)
{
    VADEditHandle h;
    if (id != 0)
    {
        h.s_ = new Shared;
        h.s_->id = id;
        h.s_->link = link;
        h.s_->linkNumber = link ? link->LinkNumber() : 0;
    }
    return h;
}

void VADEditHandle::Release()
{
    Shared* s = s_;
    s_ = nullptr;
    if (!s || s->refs.fetch_sub(1) != 1) return;
    // Closing is fire-and-forget: a link that has gone away has closed the handle with it.
    (void)VADSend<VAD_REQ_RELEASE_EDIT_HANDLE>(s->link, VADHandleRequest{s->id}, s->linkNumber);
    delete s;
}
