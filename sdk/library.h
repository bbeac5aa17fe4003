// The library-wide state that the public calls check first: whether the
// library is initialised, and the current instance's attribute store.
#pragma once

namespace orbilo {

struct AttributeStore;

// true between a successful api_init and api_term.
bool library_initialised();

// The current instance's attribute store, or nullptr when there is no current
// instance.
AttributeStore* current_attributes();

}  // namespace orbilo
