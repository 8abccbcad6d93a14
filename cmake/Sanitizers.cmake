# UPD_SANITIZE=address builds everything with AddressSanitizer and
# UndefinedBehaviorSanitizer; UPD_SANITIZE=thread with ThreadSanitizer.
if(UPD_SANITIZE STREQUAL "address")
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer -g)
  add_link_options(-fsanitize=address,undefined)
elseif(UPD_SANITIZE STREQUAL "thread")
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer -g)
  add_link_options(-fsanitize=thread)
elseif(NOT UPD_SANITIZE STREQUAL "")
  message(FATAL_ERROR "UPD_SANITIZE must be address, thread or empty")
endif()
