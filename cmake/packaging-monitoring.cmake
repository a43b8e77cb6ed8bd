# What a lab's Prometheus and Grafana need, in both packages: the alert
# rules with their unit tests (run where they are: promtool test rules
# korvanthine-alerts.test.yml), the scrape and Alertmanager examples, the
# dashboard, and in federation/ a site's recording rules and a global
# Prometheus' example.
# DESTINATION is the folder inside the package.
function(korvanthine_install_monitoring destination)
  install(FILES
          ${PROJECT_SOURCE_DIR}/monitoring/korvanthine-alerts.yml
          ${PROJECT_SOURCE_DIR}/monitoring/korvanthine-alerts.test.yml
          ${PROJECT_SOURCE_DIR}/monitoring/alertmanager.example.yml
          ${PROJECT_SOURCE_DIR}/monitoring/prometheus-scrape.example.yml
          ${PROJECT_SOURCE_DIR}/monitoring/korvanthine-dashboard.json
          DESTINATION ${destination})
  install(FILES
          ${PROJECT_SOURCE_DIR}/monitoring/federation/site-recording-rules.yml
          ${PROJECT_SOURCE_DIR}/monitoring/federation/site-recording-rules.test.yml
          ${PROJECT_SOURCE_DIR}/monitoring/federation/global-prometheus.example.yml
          DESTINATION ${destination}/federation)
endfunction()
