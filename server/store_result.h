#ifndef SERVER_STORE_RESULT_H_
#define SERVER_STORE_RESULT_H_

namespace tern {

enum class StoreResult {
  kOk,
  kNotFound,
  kExists,
  kRejected,     // the request was understood and refused (wrong code, ...)
  kTooFrequent,  // a rate limit holds
  kError,        // the database failed; nothing was changed
};

}  // namespace tern

#endif  // SERVER_STORE_RESULT_H_
