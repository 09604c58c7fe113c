// The clipboard keeper: a small program of its own, started when Glimmet
// ends while it owns the clipboard, so that what stays behind holds the
// encoded picture it serves and nothing else of the program (no toolkit, no
// screen memory). It owns CLIPBOARD, hands the picture to a clipboard
// manager where one runs (SAVE_TARGETS), otherwise answers requests itself
// until another client takes the selection.
//
// Arguments: pairs of target name and size in bytes; standard input holds
// the targets' bytes one after the other; one byte on standard output says
// the selection is owned.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "runtime/qt/selection_keeper.h"

namespace {

using runtime::qt::SelectionTargets;

struct FreeDeleter {
  void operator()(void* p) const { std::free(p); }
};
template <typename T>
using Reply = std::unique_ptr<T, FreeDeleter>;

std::vector<xcb_atom_t> InternAtoms(xcb_connection_t* c, const std::vector<std::string>& names) {
  std::vector<xcb_intern_atom_cookie_t> cookies;
  for (const std::string& name : names)
    cookies.push_back(xcb_intern_atom(c, 0, static_cast<std::uint16_t>(name.size()), name.data()));
  std::vector<xcb_atom_t> atoms;
  for (const auto& cookie : cookies) {
    Reply<xcb_intern_atom_reply_t> reply(xcb_intern_atom_reply(c, cookie, nullptr));
    atoms.push_back(reply ? reply->atom : xcb_atom_t{XCB_ATOM_NONE});
  }
  return atoms;
}

bool HasOwner(xcb_connection_t* c, xcb_atom_t selection) {
  if (selection == XCB_ATOM_NONE) return false;
  Reply<xcb_get_selection_owner_reply_t> owner(
      xcb_get_selection_owner_reply(c, xcb_get_selection_owner(c, selection), nullptr));
  return owner && owner->owner != XCB_WINDOW_NONE;
}

// A large answer goes in pieces (the INCR protocol): each time the
// requestor deletes the property, the next piece follows; an empty piece
// ends it.
struct Transfer {
  xcb_window_t requestor;
  xcb_atom_t property, type;
  const std::string* data;
  std::size_t offset;
};

class SelectionOwner {
 public:
  SelectionOwner(xcb_connection_t* c, SelectionTargets targets) : c_(c), targets_(std::move(targets)) {}

  // Takes CLIPBOARD; false when the server would not give it.
  bool Own() {
    std::vector<std::string> names = {"CLIPBOARD",    "TARGETS",      "TIMESTAMP",
                                      "INCR",         "MULTIPLE",     "CLIPBOARD_MANAGER",
                                      "SAVE_TARGETS", "_GLIMMET_SAVE_TARGETS", "_NET_WM_PID"};
    const std::size_t fixed = names.size();
    for (const auto& [name, data] : targets_) names.push_back(name);
    const std::vector<xcb_atom_t> atoms = InternAtoms(c_, names);  // one round trip
    clipboard_ = atoms[0];
    targetsAtom_ = atoms[1];
    timestampAtom_ = atoms[2];
    incr_ = atoms[3];
    multiple_ = atoms[4];
    managerSelection_ = atoms[5];
    saveTargets_ = atoms[6];
    saveProperty_ = atoms[7];
    const xcb_atom_t pidAtom = atoms[8];
    atoms_.assign(atoms.begin() + static_cast<std::ptrdiff_t>(fixed), atoms.end());
    const std::uint32_t limit = xcb_get_maximum_request_length(c_) * 4;
    piece_ = std::min<std::size_t>(limit > 4096 ? limit - 1024 : 1024, 1 << 20);

    xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c_)).data;
    window_ = xcb_generate_id(c_);
    const std::uint32_t mask = XCB_EVENT_MASK_PROPERTY_CHANGE;
    xcb_create_window(c_, XCB_COPY_FROM_PARENT, window_, screen->root, 0, 0, 1, 1, 0, XCB_WINDOW_CLASS_INPUT_ONLY,
                      XCB_COPY_FROM_PARENT, XCB_CW_EVENT_MASK, &mask);
    // A real server time for the ownership, from a property change.
    const char name[] = "glimmet clipboard";
    xcb_change_property(c_, XCB_PROP_MODE_REPLACE, window_, XCB_ATOM_WM_NAME, XCB_ATOM_STRING, 8, sizeof name - 1,
                        name);
    const std::uint32_t pid = static_cast<std::uint32_t>(::getpid());
    xcb_change_property(c_, XCB_PROP_MODE_REPLACE, window_, pidAtom, XCB_ATOM_CARDINAL, 32, 1, &pid);
    xcb_flush(c_);
    while (xcb_generic_event_t* e = xcb_wait_for_event(c_)) {
      const bool got = (e->response_type & ~0x80) == XCB_PROPERTY_NOTIFY;
      if (got) time_ = reinterpret_cast<xcb_property_notify_event_t*>(e)->time;
      std::free(e);
      if (got) break;
    }
    xcb_set_selection_owner(c_, window_, clipboard_, time_);
    Reply<xcb_get_selection_owner_reply_t> owner(
        xcb_get_selection_owner_reply(c_, xcb_get_selection_owner(c_, clipboard_), nullptr));
    if (!owner || owner->owner != window_) return false;
    AskManagerToSave();
    return true;
  }

  // Where a clipboard manager runs, it is asked to save every target
  // (SAVE_TARGETS); once it has, this process is no longer needed.
  void AskManagerToSave() {
    if (!HasOwner(c_, managerSelection_)) return;
    manager_ = managerSelection_;
    xcb_change_property(c_, XCB_PROP_MODE_REPLACE, window_, saveProperty_, XCB_ATOM_ATOM, 32,
                        static_cast<std::uint32_t>(atoms_.size()), atoms_.data());
    xcb_convert_selection(c_, window_, manager_, saveTargets_, saveProperty_, time_);
    xcb_flush(c_);
  }

  // Answers requests until another client owns the selection or the
  // display goes away.
  void Serve() {
    while (xcb_generic_event_t* e = xcb_wait_for_event(c_)) {
      const std::uint8_t type = e->response_type & ~0x80;
      bool lost = false;
      if (type == XCB_SELECTION_REQUEST) {
        Answer(*reinterpret_cast<xcb_selection_request_event_t*>(e));
      } else if (type == XCB_SELECTION_CLEAR) {
        lost = reinterpret_cast<xcb_selection_clear_event_t*>(e)->selection == clipboard_;
      } else if (type == XCB_SELECTION_NOTIFY) {
        const auto* n = reinterpret_cast<xcb_selection_notify_event_t*>(e);
        lost = manager_ != XCB_ATOM_NONE && n->selection == manager_ && n->property != XCB_ATOM_NONE;
      } else if (type == XCB_PROPERTY_NOTIFY) {
        const auto* p = reinterpret_cast<xcb_property_notify_event_t*>(e);
        if (p->state == XCB_PROPERTY_DELETE) Continue(p->window, p->atom);
      }
      std::free(e);
      xcb_flush(c_);
      if (lost) return;
    }
  }

 private:
  void Answer(const xcb_selection_request_event_t& r) {
    // Obsolete requestors name no property: the target is the property.
    const xcb_atom_t property = r.property == xcb_atom_t{XCB_ATOM_NONE} ? r.target : r.property;
    bool ok = true;
    if (r.selection != clipboard_) {
      ok = false;
    } else if (r.target == targetsAtom_) {
      std::vector<xcb_atom_t> list = {targetsAtom_, timestampAtom_, multiple_};
      list.insert(list.end(), atoms_.begin(), atoms_.end());
      xcb_change_property(c_, XCB_PROP_MODE_REPLACE, r.requestor, property, XCB_ATOM_ATOM, 32,
                          static_cast<std::uint32_t>(list.size()), list.data());
    } else if (r.target == multiple_) {
      ok = AnswerMultiple(r.requestor, property);
    } else {
      ok = Convert(r.requestor, property, r.target);
    }
    xcb_selection_notify_event_t notify{};
    notify.response_type = XCB_SELECTION_NOTIFY;
    notify.time = r.time;
    notify.requestor = r.requestor;
    notify.selection = r.selection;
    notify.target = r.target;
    notify.property = ok ? property : xcb_atom_t{XCB_ATOM_NONE};
    xcb_send_event(c_, 0, r.requestor, XCB_EVENT_MASK_NO_EVENT, reinterpret_cast<const char*>(&notify));
  }

  bool Convert(xcb_window_t requestor, xcb_atom_t property, xcb_atom_t target) {
    if (target == timestampAtom_) {
      xcb_change_property(c_, XCB_PROP_MODE_REPLACE, requestor, property, XCB_ATOM_INTEGER, 32, 1, &time_);
      return true;
    }
    const auto it = std::find(atoms_.begin(), atoms_.end(), target);
    if (it == atoms_.end()) return false;
    Send(requestor, property, target, targets_[it - atoms_.begin()].second);
    return true;
  }

  // MULTIPLE: the requestor's property lists (target, property) pairs; each
  // pair that cannot be converted gets None as its property. Each target is
  // converted once per request: a list naming one picture thousands of
  // times would otherwise make the server hold thousands of copies.
  bool AnswerMultiple(xcb_window_t requestor, xcb_atom_t property) {
    Reply<xcb_get_property_reply_t> pairs(
        xcb_get_property_reply(c_, xcb_get_property(c_, 0, requestor, property, XCB_GET_PROPERTY_TYPE_ANY, 0, 1 << 16),
                               nullptr));
    if (!pairs || pairs->format != 32) return false;
    auto* list = static_cast<xcb_atom_t*>(xcb_get_property_value(pairs.get()));
    const int n = xcb_get_property_value_length(pairs.get()) / 4;
    std::vector<xcb_atom_t> done;
    for (int i = 0; i + 1 < n; i += 2) {
      const bool again = std::find(done.begin(), done.end(), list[i]) != done.end();
      if (again || !Convert(requestor, list[i + 1], list[i])) {
        list[i + 1] = XCB_ATOM_NONE;
      } else {
        done.push_back(list[i]);
      }
    }
    xcb_change_property(c_, XCB_PROP_MODE_REPLACE, requestor, property, pairs->type, 32,
                        static_cast<std::uint32_t>(n), list);
    return true;
  }

  void Send(xcb_window_t requestor, xcb_atom_t property, xcb_atom_t type, const std::string& data) {
    if (data.size() <= piece_) {
      xcb_change_property(c_, XCB_PROP_MODE_REPLACE, requestor, property, type, 8,
                          static_cast<std::uint32_t>(data.size()), data.data());
      return;
    }
    const std::uint32_t mask = XCB_EVENT_MASK_PROPERTY_CHANGE;
    xcb_change_window_attributes(c_, requestor, XCB_CW_EVENT_MASK, &mask);
    const std::uint32_t size = static_cast<std::uint32_t>(std::min<std::size_t>(data.size(), UINT32_MAX));
    xcb_change_property(c_, XCB_PROP_MODE_REPLACE, requestor, property, incr_, 32, 1, &size);
    transfers_.push_back({requestor, property, type, &data, 0});
  }

  void Continue(xcb_window_t window, xcb_atom_t property) {
    const auto it = std::find_if(transfers_.begin(), transfers_.end(),
                                 [&](const Transfer& t) { return t.requestor == window && t.property == property; });
    if (it == transfers_.end()) return;
    const std::size_t n = std::min(piece_, it->data->size() - it->offset);
    xcb_change_property(c_, XCB_PROP_MODE_REPLACE, window, property, it->type, 8, static_cast<std::uint32_t>(n),
                        it->data->data() + it->offset);
    it->offset += n;
    if (n == 0) transfers_.erase(it);  // the empty piece has gone: done
  }

  xcb_connection_t* c_;
  SelectionTargets targets_;
  std::vector<xcb_atom_t> atoms_;
  std::vector<Transfer> transfers_;
  xcb_atom_t clipboard_ = 0, targetsAtom_ = 0, timestampAtom_ = 0, incr_ = 0, multiple_ = 0;
  xcb_atom_t managerSelection_ = 0, saveTargets_ = 0, saveProperty_ = 0;
  xcb_atom_t manager_ = 0;  // set once the clipboard manager was asked to save
  xcb_window_t window_ = 0;
  xcb_timestamp_t time_ = XCB_CURRENT_TIME;
  std::size_t piece_ = 1 << 16;
};

// The targets named by the arguments, their bytes read from fd; false when
// the arguments or the bytes do not add up.
bool ReadTargets(int argc, char** argv, int fd, SelectionTargets& targets) {
  if (argc < 3 || argc % 2 == 0) return false;
  for (int i = 1; i + 1 < argc; i += 2) {
    char* end = nullptr;
    const unsigned long long size = std::strtoull(argv[i + 1], &end, 10);
    if (!end || *end || size > (std::size_t(1) << 31)) return false;
    std::string data(static_cast<std::size_t>(size), '\0');
    for (std::size_t got = 0; got < data.size();) {
      const ssize_t n = ::read(fd, data.data() + got, data.size() - got);
      if (n <= 0) return false;
      got += static_cast<std::size_t>(n);
    }
    targets.emplace_back(argv[i], std::move(data));
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  SelectionTargets targets;
  const bool read = ReadTargets(argc, argv, STDIN_FILENO, targets);
  const int null = ::open("/dev/null", O_RDWR | O_CLOEXEC);
  ::dup2(null, STDIN_FILENO);
  if (!read) return 2;
  xcb_connection_t* c = xcb_connect(nullptr, nullptr);
  if (!c || xcb_connection_has_error(c)) return 1;
  SelectionOwner owner(c, std::move(targets));
  if (!owner.Own()) return 1;
  const char byte = 1;
  if (::write(STDOUT_FILENO, &byte, 1) != 1) return 1;
  ::dup2(null, STDOUT_FILENO);  // the program that waited has its answer
  owner.Serve();
  xcb_disconnect(c);
  return 0;
}
