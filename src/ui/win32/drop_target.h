// What OLE drags deliver to a box: Explorer's drags and most programs' are
// OLE drags, which a box's WM_DROPFILES never sees. A box that takes files
// gets the paths of a drag that carries files; one that takes links gets the
// text of a drag that carries text. Anything else is refused as it enters.
#pragma once

#include <windows.h>

#include <ole2.h>
#include <shellapi.h>

#include <functional>
#include <string>
#include <vector>

#include "ui/form_layout.h"

namespace orvanta::win32 {

// The UTF-8 paths of the files of a drop, in the order the drop holds them;
// none where shell32 cannot be loaded.
std::vector<std::string> DroppedPaths(HDROP drop);

class DropTarget final : public IDropTarget {
 public:
  // UTF-8, as the controller takes them.
  using TakeFiles = std::function<void(const std::vector<std::string>& paths)>;
  using TakeText = std::function<void(const std::string& text)>;

  DropTarget(form::Drops drops, TakeFiles take_files, TakeText take_text);

  // IUnknown
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;

  // IDropTarget
  HRESULT STDMETHODCALLTYPE DragEnter(IDataObject* data, DWORD keys, POINTL at,
                                      DWORD* effect) override;
  HRESULT STDMETHODCALLTYPE DragOver(DWORD keys, POINTL at, DWORD* effect) override;
  HRESULT STDMETHODCALLTYPE DragLeave() override;
  HRESULT STDMETHODCALLTYPE Drop(IDataObject* data, DWORD keys, POINTL at, DWORD* effect) override;

 private:
  ~DropTarget() = default;  // COM objects end with their last Release
  bool Takes(IDataObject* data) const;

  LONG references_ = 1;
  form::Drops drops_;
  TakeFiles take_files_;
  TakeText take_text_;
  bool taking_ = false;  // the drag under way carries what this box takes
};

}  // namespace orvanta::win32
