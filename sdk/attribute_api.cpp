// The public attribute calls: each acts on the current instance's store after
// the checks that every public setter makes, in this order: the library is
// initialised, there is a current instance, the number is valid, and the
// program may write it. The store then makes its own checks (type, length).
#include "sdk/attributes.h"
#include "sdk/library.h"
#include "sdk/sdk.h"

namespace orbilo {

namespace {

// The setters' checks; on success *store is the current instance's store.
int write_check(int attribute, AttributeStore** store) {
  if (!library_initialised()) return RC_NOT_INITIALIZED;
  *store = current_attributes();
  if (*store == nullptr) return RC_NO_INSTANCE;
  if (attribute_type(attribute) < 0) return RC_INVALID_ATTRIBUTE;
  if (attribute_is_read_only(attribute) != 0) return RC_READ_ONLY;
  return RC_SUCCESS;
}

// The store the getters read, or nullptr.
const AttributeStore* readable_store() {
  return library_initialised() ? current_attributes() : nullptr;
}

}  // namespace

extern "C" ORBILO_SDK_API int api_int(int attribute) {
  return attribute_get_int(readable_store(), attribute);
}

extern "C" ORBILO_SDK_API int api_int_set(int attribute, int value) {
  AttributeStore* store = nullptr;
  const int rc = write_check(attribute, &store);
  return rc != RC_SUCCESS ? rc : attribute_set_int(store, attribute, value);
}

extern "C" ORBILO_SDK_API int api_bool_set(int attribute, int value) {
  return api_int_set(attribute, value);
}

extern "C" ORBILO_SDK_API int api_float_set(int attribute, float value) {
  AttributeStore* store = nullptr;
  const int rc = write_check(attribute, &store);
  return rc != RC_SUCCESS ? rc : attribute_set_float(store, attribute, value);
}

extern "C" ORBILO_SDK_API float api_float(int attribute) {
  return attribute_get_float(readable_store(), attribute);
}

extern "C" ORBILO_SDK_API const char* api_string(int attribute) {
  return attribute_get_string(readable_store(), attribute);
}

extern "C" ORBILO_SDK_API int api_string_set(int attribute, const char* text) {
  AttributeStore* store = nullptr;
  const int rc = write_check(attribute, &store);
  return rc != RC_SUCCESS ? rc : attribute_set_string(store, attribute, text);
}

extern "C" ORBILO_SDK_API const unsigned char* api_data(int attribute, int* length) {
  return attribute_get_data(readable_store(), attribute, length);
}

}  // namespace orbilo
