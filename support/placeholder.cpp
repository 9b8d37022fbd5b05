int jobpush_placeholder;
