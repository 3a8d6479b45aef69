/* Placeholder until the JPEG writer lands. */
int savejpg_placeholder;
