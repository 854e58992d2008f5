// JsonText: the pieces of JSON and base64 the result export and the journal both write.
#pragma once

#include <optional>
#include <string>

namespace Check {

// Appends text, which is valid UTF-8, as a JSON string with its quotes.
void AppendJsonString(std::string& out, const std::string& text);

// Standard base64 with padding: how a path that is not valid UTF-8 keeps its bytes.
std::string Base64(const std::string& bytes);
// nullopt for a character outside the alphabet or a length no encoder writes.
std::optional<std::string> FromBase64(const std::string& text);

} // namespace Check
